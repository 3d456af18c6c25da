"""A mail server that misbehaves on purpose, for the mail tests' fault cases.

    python3 smtp_fault_server.py MODE LOG [HOST:PORT]

Listens on HOST:PORT (default 127.0.0.1:25) and serves every connection by MODE, appending each
command line it receives (without its line end) to LOG as it arrives. Connections are served one
after another; the server runs until it is killed.

Modes, each a server that otherwise accepts everything:
    greet554    greets with "554" (the client still goes on)
    helo500     refuses HELO
    mail550     refuses MAIL FROM
    rcpt550     refuses RCPT TO
    rcpt251     answers RCPT TO with "251 User not local; will forward"
    data250     answers DATA with 250 instead of 354
    multiline   answers HELO with a three-line 250 reply
    longline    answers HELO with a 10,000-byte reply line, then the usual reply
    bare250     answers every 250 as a bare "250" line
    silent      says nothing at all, and keeps the connection open
    slowmail    never answers MAIL FROM, and keeps the connection open
    droprcpt    closes the connection when RCPT TO comes
    accept      no fault: accepts the mail and throws it away
"""

import socket
import sys

MODES = {"greet554", "helo500", "mail550", "rcpt550", "rcpt251", "data250", "multiline",
         "longline", "bare250", "silent", "slowmail", "droprcpt", "accept"}


def answer(mode, command):
    """The bytes to send for one command line; None keeps silent; False closes."""
    verb = command[:4].upper()
    ok = b"250\r\n" if mode == "bare250" else b"250 ok\r\n"
    if mode == "silent" or (mode == "slowmail" and verb == "MAIL"):
        return None
    if verb == "HELO":
        if mode == "helo500":
            return b"500 not you\r\n"
        if mode == "multiline":
            return b"250-mail.example\r\n250-SIZE 1000000\r\n250 HELP\r\n"
        if mode == "longline":
            return b"250-" + b"x" * 9994 + b"\r\n250 hello\r\n"
    if verb == "MAIL" and mode == "mail550":
        return b"550 sender refused\r\n"
    if verb == "RCPT":
        if mode == "rcpt550":
            return b"550 no such user\r\n"
        if mode == "rcpt251":
            return b"251 User not local; will forward\r\n"
        if mode == "droprcpt":
            return False
    if verb == "DATA":
        return ok if mode == "data250" else b"354 go ahead\r\n"
    if verb == "QUIT":
        return b"221 bye\r\n"
    return ok


def serve(connection, mode, log):
    if mode != "silent":
        connection.sendall(b"554 no service\r\n" if mode == "greet554" else b"220 ready\r\n")
    pending = b""
    in_data = False
    while True:
        chunk = connection.recv(65536)
        if not chunk:
            return
        pending += chunk
        while True:
            end = pending.find(b"\r\n.\r\n" if in_data else b"\r\n")
            if end < 0:
                break
            if in_data:
                command = "<end of data>"
                pending = pending[end + 5:]
                in_data = False
            else:
                command = pending[:end].decode("latin-1")
                pending = pending[end + 2:]
            log.write(command + "\n")
            log.flush()
            reply = answer(mode, command if command != "<end of data>" else "")
            if command == "<end of data>":
                reply = b"250 accepted\r\n"
            if reply is False:
                return
            if reply is None:
                continue
            if reply.startswith(b"354"):
                in_data = True
            connection.sendall(reply)


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[1] not in MODES:
        sys.stderr.write(__doc__)
        return 2
    mode, log_path = sys.argv[1], sys.argv[2]
    host, _, port = (sys.argv[3] if len(sys.argv) == 4 else "127.0.0.1:25").rpartition(":")
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((host, int(port)))
    listener.listen(8)
    with open(log_path, "a", encoding="latin-1") as log:
        while True:
            connection, _ = listener.accept()
            with connection:
                try:
                    serve(connection, mode, log)
                except OSError:
                    pass


if __name__ == "__main__":
    sys.exit(main())
