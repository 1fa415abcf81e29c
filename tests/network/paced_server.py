#!/usr/bin/env python3
"""An HTTP/1.1 file server that behaves like a slow link: each answer waits
FIRST_BYTE_MS before its first byte, then sends the body at RATE bytes per
second (on a fixed schedule from the first body byte, so a late send is made
up, never exceeded). GET and HEAD of files in FOLDER; one line per request on
stderr.

With --cert and --key it speaks HTTPS (the certificate file may hold the
chain). With --ranges it answers "Range: bytes=N-" with 206 and the rest of
the file when If-Range (if any) names its strong ETag, and says
"Accept-Ranges: bytes"; otherwise Range is ignored. With --close-after N
every connection is closed after N body bytes, a flaky link. Each request's
line on stderr ends with "sent=<body bytes sent>".

usage: paced_server.py --bind ADDRESS [--port 80] --folder FOLDER
                       [--rate BYTES_PER_SECOND] [--first-byte-ms MS]
                       [--cert CHAIN.pem --key KEY.pem]
                       [--ranges] [--close-after BYTES]
"""
import argparse
import http.server
import os
import re
import ssl
import sys
import time

PIECE = 16 * 1024


class PacedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fyrel-paced"

    def do_HEAD(self):
        self.answer(send_body=False)
        self.log_message('"%s" %s', self.requestline, self.code)

    def do_GET(self):
        self.answer(send_body=True)
        self.log_message('"%s" %s', self.requestline, self.code)

    # Logged once the body is out (or cut), with the bytes sent.
    def log_request(self, code="-", size="-"):
        self.code = code

    def answer(self, send_body):
        name = self.path.split("?", 1)[0].lstrip("/")
        path = os.path.join(self.server.folder, name)
        if not name or "/" in name or not os.path.isfile(path):
            body = b"not found\n"
            self.send_response(404)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if send_body:
                self.wfile.write(body)
            return
        time.sleep(self.server.first_byte_ms / 1000.0)
        size = os.path.getsize(path)
        stat = os.stat(path)
        etag = '"%x-%x"' % (stat.st_size, stat.st_mtime_ns)
        start_at = 0
        if self.server.ranges:
            match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", ""))
            if_range = self.headers.get("If-Range")
            if match and (if_range is None or if_range == etag):
                start_at = int(match.group(1))
        if start_at >= size and start_at > 0:
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.sent = 0
            return
        self.send_response(206 if start_at else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size - start_at))
        self.send_header("ETag", etag)
        if self.server.ranges:
            self.send_header("Accept-Ranges", "bytes")
        if start_at:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start_at, size - 1, size))
        if self.server.close_after:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if not send_body:
            return
        rate = self.server.rate
        limit = self.server.close_after or size
        start = time.monotonic()
        sent = 0
        self.sent = 0
        with open(path, "rb") as f:
            f.seek(start_at)
            while sent < limit:
                piece = f.read(min(PIECE, limit - sent))
                if not piece:
                    break
                due = start + sent / rate
                delay = due - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                try:
                    self.wfile.write(piece)
                except OSError:  # the client went (over TLS too)
                    return
                sent += len(piece)
                self.sent = sent
        if sent < size - start_at:
            self.close_connection = True  # cut: the flaky link drops it

    def log_message(self, format, *args):
        sys.stderr.write("%s %s sent=%d\n" % (self.address_string(), format % args, getattr(self, "sent", 0)))
        sys.stderr.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bind", required=True)
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--rate", type=float, default=2_000_000)
    parser.add_argument("--first-byte-ms", type=float, default=100)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--ranges", action="store_true")
    parser.add_argument("--close-after", type=int, default=0)
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer((args.bind, args.port), PacedHandler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.daemon_threads = True
    server.folder = args.folder
    server.rate = args.rate
    server.first_byte_ms = args.first_byte_ms
    server.ranges = args.ranges
    server.close_after = args.close_after
    sys.stderr.write("paced server on %s:%d, %.0f bytes/s, first byte after %.0f ms\n"
                     % (args.bind, args.port, args.rate, args.first_byte_ms))
    sys.stderr.flush()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
