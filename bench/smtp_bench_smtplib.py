#!/usr/bin/python3
"""Python's smtplib beside smtp_bench: runs COMMAND with VL_SMTPLIB_AGENT set to the port of an
agent on 127.0.0.1 that, asked "SEND <smtp port> <tag>", sends the message the loopback peer
saved as $VL_PEER_DIR/<tag>.eml (the bench's own message, byte for byte) with smtplib to
smtplib@example.test on that port, and answers "250 <milliseconds>" (connection, EHLO, MAIL,
RCPT, DATA, close: what one recipient costs). Run it inside run-with-peers.sh:

  tests/delivery/run-with-peers.sh build/win64/bench-peers /usr/bin/python3 \\
      bench/smtp_bench_smtplib.py scripts/wine-run build/win64/bench/smtp_bench.exe
"""
import os
import smtplib
import socket
import subprocess
import sys
import threading
import time


def send(port, tag):
    with open(os.path.join(os.environ["VL_PEER_DIR"], tag + ".eml"), "rb") as f:
        message = f.read()
    start = time.perf_counter()
    # A fixed local name: smtplib would otherwise look the machine's name up.
    client = smtplib.SMTP("127.0.0.1", port, local_hostname="localhost", timeout=30)
    client.sendmail("app@example.com", ["smtplib@example.test"], message)
    client.close()
    return (time.perf_counter() - start) * 1000.0


def serve(listener):
    while True:
        connection, _ = listener.accept()
        with connection, connection.makefile("rb") as lines:
            for line in lines:
                words = line.decode().split()
                try:
                    answer = "250 %.3f" % send(int(words[1]), words[2])
                except Exception as error:  # the bench prints it
                    answer = "554 %s" % str(error).replace("\r", " ").replace("\n", " ")
                connection.sendall(answer.encode() + b"\r\n")


def main():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    threading.Thread(target=serve, args=(listener,), daemon=True).start()
    environment = dict(os.environ, VL_SMTPLIB_AGENT=str(listener.getsockname()[1]))
    return subprocess.call(sys.argv[1:], env=environment)


if __name__ == "__main__":
    sys.exit(main())
