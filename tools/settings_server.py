#!/usr/bin/env python3
"""A small web server on 127.0.0.1 that serves settings documents the way a
test or the demo needs them.

  /files/<name>           the file <root>/<name>, status 200
  /status/<code>/<name>   the same body with the given status
  /cut/<name>             announces the whole file, sends half, hangs up
  /bytes/<count>          <count> bytes of "x", generated while sending
  /stream/<count>         the same without announcing a length: the body
                          ends when the server hangs up
  /slow/<ms>/<name>       the file after a delay

A query ("?...") is not part of the name. Every answered request is appended
to <root>/requests.log as "<path> <status>".
The chosen port is written to --port-file once the server listens.
"""
import argparse
import http.server
import os
import socketserver
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def _record(self, status):
        with open(os.path.join(self.server.root, "requests.log"), "a") as log:
            log.write(f"{self.path} {status}\n")

    def _file(self, name):
        path = os.path.join(self.server.root, os.path.basename(name))
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def _send(self, status, body, announced=None):
        self.send_response(status)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body) if announced is None else announced))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        parts = self.path.split("?")[0].lstrip("/").split("/")
        status = 200
        try:
            kind = parts[0]
            if kind in ("bytes", "stream"):
                count = int(parts[1])
                self.send_response(200)
                if kind == "bytes":
                    self.send_header("Content-Length", str(count))
                self.end_headers()
                chunk = b"x" * 65536
                left = count
                while left > 0:
                    piece = chunk[: min(left, len(chunk))]
                    self.wfile.write(piece)
                    left -= len(piece)
            else:
                if kind == "status":
                    status, name = int(parts[1]), parts[2]
                elif kind == "slow":
                    time.sleep(int(parts[1]) / 1000.0)
                    name = parts[2]
                else:
                    name = parts[1]
                body = self._file(name)
                if body is None:
                    status = 404
                    self._send(404, b"<html><body>Not Found</body></html>")
                elif kind == "cut":
                    self._send(200, body[: len(body) // 2], announced=len(body))
                    self.close_connection = True
                    self.connection.shutdown(2)
                else:
                    self._send(status, body)
        except (BrokenPipeError, ConnectionResetError, IndexError, ValueError):
            status = 0
        self._record(status)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    server.root = args.root
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
