#!/usr/bin/env python3
"""A Linux echo listener for the Windows contract tests under Wine.

Echoes every UDP datagram and every TCP byte it receives on 127.0.0.1:PORT back to the sender,
until it is killed. Prints "ready" once both sockets are bound.

    echo_listener.py PORT
"""
import socket
import sys
import threading


def echo_datagrams(sock):
    while True:
        data, sender = sock.recvfrom(65535)
        sock.sendto(data, sender)


def echo_connection(conn):
    with conn:
        while True:
            data = conn.recv(65535)
            if not data:
                return
            conn.sendall(data)


def main():
    port = int(sys.argv[1])
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", port))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind(("127.0.0.1", port))
    tcp.listen(8)
    threading.Thread(target=echo_datagrams, args=(udp,), daemon=True).start()
    print("ready", flush=True)
    while True:
        conn, _ = tcp.accept()
        threading.Thread(target=echo_connection, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
