#!/usr/bin/env python3
"""A small HTTP(S) server on 127.0.0.1 for the URL tests and bench/run: it
serves files with ETag and Last-Modified and answers conditional requests
with 304, and it misbehaves on purpose where a route says so.

As a module: HttpTestServer(routes) with routes a dict of path -> Route,
changeable while it runs; `log` records (path, status) of every answer.
As a program it serves the files of one folder, optionally paced:
    http_test_server.py --root DIR --port-file FILE [--rate BYTES_PER_S]
"""

import argparse
import email.utils
import hashlib
import http.server
import os
import socketserver
import ssl
import sys
import threading
import time


class Route:
    """What one path answers.

    kind: "file" (data, with validators), "status" (code), "redirect"
    (location, code), "short" (data, then the connection closes before the
    announced length), "unannounced" (data without a length, the connection
    closing at its end), "stall" (data, then nothing for `stall` seconds),
    "silent" (no answer at all for `stall` seconds), "trickle" (data, a few
    bytes at a time, slower than 1 kB/s), "slow head" (the head a byte at a
    time), "endless" (data over and over without a length, never ending),
    "bad length" (data under a Content-Length that is no number), "two lengths"
    (data under its own Content-Length and a second, shorter one), "huge head"
    (data under a head of 200 kB)."""

    def __init__(self, kind, data=b"", code=200, location="", stall=30.0):
        self.kind, self.data, self.code, self.location, self.stall = kind, data, code, location, stall
        self.etag = '"%s"' % hashlib.sha256(data).hexdigest()[:16]
        self.modified = email.utils.formatdate(time.time() - 3600, usegmt=True)


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, code, headers=(), body=b"", length=True):
        self.server.owner.log.append((self.path, code))
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        return body

    def not_modified(self, route):
        match = self.headers.get("If-None-Match")
        if match is not None:
            return match == route.etag
        since = self.headers.get("If-Modified-Since")
        return since is not None and since == route.modified

    def do_GET(self):
        owner = self.server.owner
        owner.agents.append(self.headers.get("User-Agent", ""))
        route = owner.routes.get(self.path.split("?")[0])
        if route is None:
            self.answer(404)
        elif route.kind == "status":
            self.answer(route.code, body=b"<html>no</html>")
        elif route.kind == "redirect":
            self.answer(route.code, [("Location", route.location)])
        elif route.kind in ("file", "unannounced") and self.not_modified(route):
            self.answer(304, [("ETag", route.etag)], length=False)
        elif route.kind == "file":
            self.send_body(route)
        elif route.kind == "unannounced":
            self.wfile.write(self.answer(200, body=route.data, length=False))
            self.close_connection = True
        elif route.kind == "short":
            self.answer(200, [("Content-Length", str(len(route.data) * 2))], length=False)
            self.wfile.write(route.data)
            self.close_connection = True
        elif route.kind == "silent":
            time.sleep(route.stall)
            self.close_connection = True
        elif route.kind in ("trickle", "slow head", "endless", "bad length", "two lengths", "huge head"):
            try:
                self.misbehave(route)
            except OSError:  # the client gave up, as it should
                pass
            self.close_connection = True
        elif route.kind == "stall":
            self.answer(200, [("Content-Length", str(len(route.data) * 2))], length=False)
            self.wfile.write(route.data)
            self.wfile.flush()
            time.sleep(route.stall)
            self.close_connection = True

    def misbehave(self, route):
        self.server.owner.log.append((self.path, 200))
        head = b"HTTP/1.1 200 OK\r\nConnection: close\r\n"
        if route.kind == "bad length":
            head += b"Content-Length: 99999999999999999999\r\n"
        elif route.kind == "two lengths":
            cut = route.data.rindex(b"\n", 0, len(route.data) // 2) + 1
            head += b"Content-Length: %d\r\nContent-Length: %d\r\n" % (len(route.data), cut)
        elif route.kind == "huge head":
            head += b"".join(b"X-Filler-%d: %s\r\n" % (i, b"x" * 1000) for i in range(200))
        elif route.kind != "endless":
            head += b"Content-Length: %d\r\n" % len(route.data)
        head += b"\r\n"
        if route.kind == "slow head":
            for i in range(len(head)):
                self.wfile.write(head[i:i + 1])
                self.wfile.flush()
                time.sleep(0.1)
        else:
            self.wfile.write(head)
        if route.kind == "trickle":
            for i in range(0, len(route.data), 10):
                self.wfile.write(route.data[i:i + 10])
                self.wfile.flush()
                time.sleep(0.1)
        elif route.kind == "endless":
            while True:
                self.wfile.write(route.data)
                self.wfile.flush()
                time.sleep(0.01)
        else:
            self.wfile.write(route.data)

    def send_body(self, route):
        self.answer(200, [("ETag", route.etag), ("Last-Modified", route.modified)], route.data)
        rate = self.server.owner.rate
        if not rate:
            self.wfile.write(route.data)
            return
        # Paced: 64 KiB pieces, each sent when the rate allows it.
        start, sent, piece = time.monotonic(), 0, 64 * 1024
        while sent < len(route.data):
            ahead = sent / rate - (time.monotonic() - start)
            if ahead > 0:
                time.sleep(ahead)
            self.wfile.write(route.data[sent:sent + piece])
            sent += piece


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class HttpTestServer:
    """Serves routes on 127.0.0.1 at an ephemeral port, over TLS when given
    a certificate and key."""

    def __init__(self, routes, certificate=None, rate=0):
        self.routes, self.rate, self.log, self.agents = routes, rate, [], []
        self.server = _Server(("127.0.0.1", 0), _Handler)
        self.server.owner = self
        self.scheme = "http"
        if certificate:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*certificate)
            self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
            self.scheme = "https"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return "%s://127.0.0.1:%d%s" % (self.scheme, self.server.server_address[1], path)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--rate", type=float, default=0)
    args = parser.parse_args()
    routes = {}
    for name in os.listdir(args.root):
        with open(os.path.join(args.root, name), "rb") as f:
            routes["/" + name] = Route("file", f.read())
    server = HttpTestServer(routes, rate=args.rate)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.thread.join()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
