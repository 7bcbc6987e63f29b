#!/usr/bin/env python3
"""Asks a running guard to stop, speaking the simulated host's pipe transport as docs/sim-pipes.md
describes it, with nothing but the standard library.

    pipe_client.py <path of vostrelusb>

Starts `vostrelusb /start` on a fresh simulated machine; while another connection stalls its
listener, asks "STOP" (retrying while the pipe is busy) and expects ""; then asks "stop" and
expects "1" (the test runs as root, the machine's administrator); and ends the guard. Exit status
0 on success."""

import hashlib
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time


def socket_address(root, pipe_name):
    name = pipe_name.replace("/", "\\")
    name = "".join(c.lower() if "A" <= c <= "Z" else c for c in name)
    key = os.path.realpath(root) + "\n" + name
    return "\0vostusb-pipe-" + hashlib.sha256(key.encode("utf-8")).hexdigest()


def read_exactly(connection, size):
    data = b""
    while len(data) < size:
        part = connection.recv(size - len(data))
        if not part:
            raise ConnectionError("pipe broken")
        data += part
    return data


def open_pipe(address, patience):
    """Connects and waits for the server's byte 1; retries while the pipe is missing or busy (no
    byte within 50 ms, or the connection closed or reset before it) until `patience` seconds have
    passed. Every later read of the connection waits at most 10 s."""
    deadline = time.monotonic() + patience
    while True:
        connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            connection.connect(address)
            connection.settimeout(0.05)
            if connection.recv(1) == b"\x01":
                connection.settimeout(10)
                return connection
        except OSError:  # refused, missing, reset, or no byte in time
            pass
        connection.close()
        if time.monotonic() > deadline:
            raise TimeoutError("no connection to the pipe")
        time.sleep(0.01)


def pipe_address(root, pid, channel):
    return socket_address(root, "vostrel_comm_%s_%d" % (channel, pid))


def ask_text(root, pid, channel, question, patience=5):
    """One exchange; the asker closes once it has the answer (the listener waits for that)."""
    with open_pipe(pipe_address(root, pid, channel), patience) as connection:
        body = struct.pack("<I", os.getpid()) + question.encode("utf-16-le")
        connection.sendall(struct.pack("<I", len(body)) + body)
        (length,) = struct.unpack("<I", read_exactly(connection, 4))
        return read_exactly(connection, length).decode("utf-16-le")


def wait_for_line(log, text, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(log):
            with open(log, encoding="utf-8", errors="replace") as f:
                if text in f.read():
                    return True
        time.sleep(0.05)
    return False


def main():
    guard = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="vostusb-pyclient-") as scratch:
        root = os.path.join(scratch, "sim")
        environment = dict(os.environ, VOSTUSB_SIM_ROOT=root)
        service = subprocess.Popen([guard, "/start"], env=environment)
        try:
            log = os.path.join(root, "debug.log")
            if not wait_for_line(log, "*** USB STARTED.", 20):
                print("the guard did not start")
                return 1
            listener_line = "listener [\\\\.\\pipe\\vostrel_comm_default_%d]" % service.pid
            if not wait_for_line(log, listener_line, 5):
                print("no listener line for process %d" % service.pid)
                return 1
            # An asker that sends nothing holds the listener for its 5 s step; meanwhile the pipe
            # is busy for the next one, which retries until it is served.
            stalled = open_pipe(pipe_address(root, service.pid, "default"), 5)
            try:
                started = time.monotonic()
                unknown = ask_text(root, service.pid, "default", "STOP", patience=20)
                waited = time.monotonic() - started
            finally:
                stalled.close()
            print("answer to STOP: %r after %.1f s" % (unknown, waited))
            if unknown != "" or waited < 3:
                return 1
            answer = ask_text(root, service.pid, "default", "stop")
            print("answer to stop: %r" % answer)
            return 0 if answer == "1" else 1
        finally:
            service.kill()
            service.wait()


if __name__ == "__main__":
    sys.exit(main())
