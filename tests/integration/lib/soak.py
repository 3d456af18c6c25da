#!/usr/bin/env python3
"""Soak test: the real service forwards uniquely marked records while it is killed.

Runs in a private network namespace (soak_test.sh arranges it). On a fresh emulated computer it
installs vaskwell, points the primary syslog server (TCP) at a receiver on 127.0.0.1:514 and the
backup (UDP) at one on 127.0.0.2:514, and starts the service through the emulated service control
manager. It then writes N records "<soak-1>" .. "<soak-N>" into the System log at a steady rate
and, at random moments while they flow, kills the service's process with SIGKILL and starts it
again with "ntbox sc start". Once the service has caught up it is stopped, and the script counts,
per transport, what arrived: records lost (never received), duplicated (received more than once;
a pass cut off by the kill writes no progress, so its records go again) and messages cut off in
the middle by a kill. Finally it checks the computer's database with PRAGMA integrity_check.

Exit status 0 when nothing was lost, every message names a written record, nLastRecord reached N
and the database is sound; 1 otherwise.
"""

import argparse
import fcntl
import os
import random
import re
import selectors
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

NAME = "Brinmoor Vaskwell"
PARAMS = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell\\Parameters"
EVENTLOG = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog"
SOURCE = "Soak"
MARK = re.compile(rb"<soak-(\d+)>")


class Counts:
    """What one transport received: how often each record arrived, and the cut-off messages."""

    def __init__(self):
        self.lock = threading.Lock()
        self.seen = {}
        self.messages = 0
        self.cut_off = 0
        self.last_arrival = 0.0

    def add(self, payload):
        marks = MARK.findall(payload)
        with self.lock:
            self.messages += 1
            self.last_arrival = time.monotonic()
            if len(marks) != 1:
                self.cut_off += 1
                return
            number = int(marks[0])
            self.seen[number] = self.seen.get(number, 0) + 1

    def unique(self):
        with self.lock:
            return len(self.seen)


class Receivers:
    """A syslog receiver on 127.0.0.1:514/tcp (one message per connection) and 127.0.0.2:514/udp."""

    def __init__(self):
        self.tcp = Counts()
        self.udp = Counts()
        self.done = threading.Event()
        self.tcp_socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.tcp_socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.tcp_socket.bind(("127.0.0.1", 514))
        self.tcp_socket.listen(512)
        self.tcp_socket.setblocking(False)
        self.udp_socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp_socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
        self.udp_socket.bind(("127.0.0.2", 514))
        self.udp_socket.settimeout(0.2)
        self.threads = [threading.Thread(target=self._serve_tcp, daemon=True),
                        threading.Thread(target=self._serve_udp, daemon=True)]
        for t in self.threads:
            t.start()

    def _serve_udp(self):
        while not self.done.is_set():
            try:
                payload, _ = self.udp_socket.recvfrom(65536)
            except socket.timeout:
                continue
            self.udp.add(payload)

    def _serve_tcp(self):
        selector = selectors.DefaultSelector()
        selector.register(self.tcp_socket, selectors.EVENT_READ, None)
        buffers = {}
        while not self.done.is_set():
            for key, _ in selector.select(timeout=0.2):
                if key.data is None:
                    while True:
                        try:
                            connection, _ = self.tcp_socket.accept()
                        except BlockingIOError:
                            break
                        connection.setblocking(False)
                        buffers[connection] = bytearray()
                        selector.register(connection, selectors.EVENT_READ, True)
                    continue
                connection = key.fileobj
                try:
                    chunk = connection.recv(65536)
                except BlockingIOError:
                    continue
                except ConnectionResetError:
                    chunk = b""
                if chunk:
                    buffers[connection] += chunk
                    continue
                # The end of the connection is the end of the message.
                selector.unregister(connection)
                connection.close()
                payload = bytes(buffers.pop(connection))
                if payload:
                    self.tcp.add(payload)

    def stop(self):
        self.done.set()
        for t in self.threads:
            t.join()


class Computer:
    """The emulated computer, driven through ntbox and vaskwell."""

    def __init__(self, build, directory):
        self.ntbox = os.path.join(build, "bin", "ntbox")
        self.vaskwell = os.path.join(build, "bin", "vaskwell")
        self.write_events = os.path.join(build, "bin", "write_events")
        self.dir = directory
        self.env = dict(os.environ, NTBOX_MACHINE=directory)

    def run(self, *args, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError(f"{' '.join(args)}: {result.stdout}{result.stderr}")
        return result.stdout

    def box(self, *args, check=True):
        return self.run(self.ntbox, *args, check=check)

    def dword(self, key, name, value):
        self.box("reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")

    def text(self, key, name, value):
        self.box("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def last_record(self):
        out = self.box("reg", "query", PARAMS + "\\System", "/v", "nLastRecord", check=False)
        for line in out.splitlines():
            fields = line.split()
            if fields and fields[0] == "nLastRecord":
                return int(fields[-1], 16)
        return 0

    def service_pid(self):
        db = sqlite3.connect(os.path.join(self.dir, "machine.db"), timeout=30)
        try:
            row = db.execute("SELECT pid FROM svc_status WHERE name_upper = ?",
                             (NAME.upper(),)).fetchone()
        finally:
            db.close()
        return row[0] if row else 0

    def wait_exited(self, seconds=30):
        """Waits until no process holds the service's lock, that is, until its process is gone."""
        path = os.path.join(self.dir, "services", NAME.upper() + ".lock")
        deadline = time.monotonic() + seconds
        with open(path, "r+") as lock:
            while True:
                try:
                    fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    fcntl.lockf(lock, fcntl.LOCK_UN)
                    return
                except OSError:
                    if time.monotonic() > deadline:
                        raise RuntimeError("the service's process did not go away")
                    time.sleep(0.02)

    def integrity(self):
        db = sqlite3.connect(os.path.join(self.dir, "machine.db"), timeout=30)
        try:
            return [row[0] for row in db.execute("PRAGMA integrity_check")]
        finally:
            db.close()


def setup(computer, sleep_ms, delay_ms):
    computer.box("init", "--no-samples", "--tz", "UTC", computer.dir)
    computer.run(computer.vaskwell, "-i")
    computer.dword(PARAMS, "nSleepTime", sleep_ms)
    computer.dword(PARAMS, "nPreventOverrunDelay", delay_ms)
    computer.text(PARAMS, "szTarget", "127.0.0.1")
    computer.dword(PARAMS, "nProtoType", 1)
    computer.text(PARAMS, "szTarget2", "127.0.0.2")
    computer.dword(PARAMS, "nProtoTypeBackup", 0)
    # The service's own events go to the Application log: keep them out of the count.
    computer.dword(PARAMS + "\\Application", "nFilterEventType", 0)
    # The records go to the System log, which must hold all of them: a log that wraps while the
    # service is down loses records by design, which is not what this test measures.
    computer.box("reg", "add", EVENTLOG + "\\System\\" + SOURCE, "/f")
    computer.dword(EVENTLOG + "\\System", "MaxSize", 256 << 20)


def kill_and_restart(args, rng, computer, receivers, started):
    """Kills the service at random moments while it forwards, at least a second apart so that
    every start gets going before the next kill, and starts it again each time."""
    duration = args.records / args.rate
    moments = sorted(rng.uniform(1.0, max(duration, 1.0 + args.kills)) for _ in range(args.kills))
    for i in range(1, len(moments)):
        moments[i] = max(moments[i], moments[i - 1] + 1.0)
    for moment in moments:
        time.sleep(max(0.0, started + moment - time.monotonic()))
        # Strike in the middle of a pass: right after a message arrived (within 5 s).
        deadline = time.monotonic() + 5.0
        while time.monotonic() < deadline:
            with receivers.tcp.lock:
                last = receivers.tcp.last_arrival
            if time.monotonic() - last < 0.02:
                break
            time.sleep(0.002)
        pid = computer.service_pid()
        if pid <= 0:
            raise RuntimeError("no process of the service to kill")
        os.kill(pid, signal.SIGKILL)
        computer.wait_exited()
        time.sleep(rng.uniform(0.0, 0.5))  # records pile up while it is down
        computer.box("sc", "start", NAME)
    return len(moments)


def soak(args):
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="soak-")
    computer = Computer(args.build, os.path.join(work, "SRV1"))
    setup(computer, args.sleep_ms, args.delay_ms)
    receivers = Receivers()
    try:
        return run(args, rng, work, computer, receivers)
    finally:
        # Whatever happened, no service or writer outlives the test (the service would go on
        # running in this network namespace).
        computer.box("sc", "stop", NAME, "--wait", "10", check=False)
        receivers.stop()


def run(args, rng, work, computer, receivers):
    started = time.monotonic()
    computer.box("sc", "start", NAME)

    writer = subprocess.Popen([computer.write_events, SOURCE, "1", str(args.records), "--rate",
                               str(args.rate)], env=computer.env)
    try:
        kills = kill_and_restart(args, rng, computer, receivers, started)
    except BaseException:
        writer.kill()
        writer.wait()
        raise
    if writer.wait() != 0:
        raise RuntimeError("write_events failed")

    # Let the service catch up, then stop it.
    deadline = time.monotonic() + args.catch_up
    while time.monotonic() < deadline:
        if (computer.last_record() == args.records and receivers.tcp.unique() == args.records and
                receivers.udp.unique() == args.records):
            break
        time.sleep(0.2)
    computer.box("sc", "stop", NAME, "--wait", "10")
    computer.wait_exited()
    time.sleep(0.5)  # the last datagrams
    receivers.stop()
    elapsed = time.monotonic() - started

    failures = []
    print(f"soak: {args.records} records written at {args.rate:g}/s, {kills} kills (SIGKILL), "
          f"nSleepTime {args.sleep_ms} ms, nPreventOverrunDelay {args.delay_ms} ms, "
          f"{elapsed:.0f} s")
    for label, counts in (("tcp 127.0.0.1 (primary)", receivers.tcp),
                          ("udp 127.0.0.2 (backup) ", receivers.udp)):
        unknown = sorted(n for n in counts.seen if n < 1 or n > args.records)
        received = sum(counts.seen.values())
        unique = len(counts.seen) - len(unknown)
        lost = args.records - unique
        duplicated = received - len(counts.seen)
        print(f"soak: {label}: {counts.messages} messages, {unique} records, lost {lost}, "
              f"duplicated {duplicated} ({100.0 * duplicated / args.records:.1f}%), "
              f"cut off {counts.cut_off}")
        if lost:
            missing = [n for n in range(1, args.records + 1) if n not in counts.seen]
            failures.append(f"{label}: {lost} lost, first {missing[:10]}")
        if unknown:
            failures.append(f"{label}: records never written arrived: {unknown[:10]}")
    last = computer.last_record()
    if last != args.records:
        failures.append(f"nLastRecord of System is {last}, not {args.records}")
    check = computer.integrity()
    print(f"soak: machine.db integrity_check: {' '.join(check)}")
    if check != ["ok"]:
        failures.append("the database failed its integrity check")
    if failures:
        for f in failures:
            print("FAIL: " + f, file=sys.stderr)
        print(f"soak: the computer is kept in {work}", file=sys.stderr)
        return 1
    subprocess.run(["rm", "-rf", work])
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build directory")
    parser.add_argument("--records", type=int, default=2000)
    parser.add_argument("--kills", type=int, default=5)
    parser.add_argument("--rate", type=float, default=50.0, help="records written per second")
    parser.add_argument("--sleep-ms", type=int, default=1000, help="nSleepTime of the service")
    parser.add_argument("--delay-ms", type=int, default=5,
                        help="nPreventOverrunDelay of the service (its default: 5)")
    parser.add_argument("--catch-up", type=float, default=120.0,
                        help="seconds the service gets to forward the rest after the writing")
    parser.add_argument("--seed", type=int, default=None, help="for the kill moments")
    args = parser.parse_args()
    if args.seed is None:
        args.seed = random.randrange(1 << 30)
    print(f"soak: seed {args.seed}")
    try:
        return soak(args)
    except RuntimeError as error:
        print(f"FAIL: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
