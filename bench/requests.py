#!/usr/bin/env python3
"""Sends store requests one after another, each on a new connection, and reads each
answer to the connection's end: a fixed number of requests, for counting what a server
does per request (bench/compare.sh). Prints how many answers had each status.

  requests.py PORT METHOD PATH COUNT [BODY-BYTES]

A path holding {n} gets the request's number (1 to COUNT), so that NEW and DEL name a
new item each time."""
import collections
import socket
import sys

port, method, path, count = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])
body = b"x" * (int(sys.argv[5]) if len(sys.argv) > 5 else 0)
statuses = collections.Counter()
for n in range(1, count + 1):
    head = "%s %s HTTP/1.0\r\n" % (method, path.replace("{n}", str(n)))
    if method == "SET":
        head += "Content-Length: %d\r\n" % len(body)
    request = (head + "\r\n").encode() + body
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(request)
        answer = b""
        while True:
            piece = s.recv(1 << 20)
            if not piece:
                break
            if len(answer) < 64:
                answer += piece[:64]
    statuses[answer.split(b" ", 2)[1].decode() if answer.count(b" ") >= 1 else "none"] += 1
print(" ".join("%s:%d" % item for item in sorted(statuses.items())))
