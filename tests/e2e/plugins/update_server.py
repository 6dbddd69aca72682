#!/usr/bin/env python3
"""A loopback HTTP server for the update's end-to-end tests.

Serves a folder laid out by `qvxdef publish`, asks for HTTP basic authentication, and appends one
JSON line per request to a log: the request target and the Authorization and Proxy-Authorization
headers. Prints its port on the first line of standard output once it listens. Modes:

  serve   answer every request from the folder (401 without the right credentials, 404 for a
          missing file, both with an HTML error page)
  stall   read the request and never answer
  cut     like serve, but a .zip answer stops half-way and the connection is closed
  trickle like serve, but a .zip answer comes at 2 bytes a second
  proxy   a forward proxy: logs the request and fetches the absolute target from its server

The test that starts it stops it by its process id.
"""

import argparse
import base64
import http.client
import json
import os
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ERROR_PAGE = "<html><head><title>{0}</title></head><body><h1>{0}</h1></body></html>\n"


class handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_lock = threading.Lock()

    def log_message(self, *args):  # no console chatter
        pass

    def record(self):
        entry = {
            "target": self.path,
            "authorization": self.headers.get("Authorization"),
            "proxy_authorization": self.headers.get("Proxy-Authorization"),
        }
        with self.log_lock, open(self.server.options.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def send_body(self, status, body, content_type="text/html", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.record()
        mode = self.server.options.mode
        if mode == "stall":
            time.sleep(3600)
            return
        if mode == "proxy":
            self.forward()
            return
        opts = self.server.options
        expected = "Basic " + base64.b64encode(f"{opts.user}:{opts.password}".encode()).decode()
        if self.headers.get("Authorization") != expected:
            self.send_body(401, ERROR_PAGE.format("401 Unauthorized").encode(),
                           extra=[("WWW-Authenticate", 'Basic realm="updates"')])
            return
        path = urllib.parse.urlsplit(self.path).path
        local = os.path.normpath(os.path.join(opts.root, path.lstrip("/")))
        if not local.startswith(os.path.abspath(opts.root) + os.sep) or not os.path.isfile(local):
            self.send_body(404, ERROR_PAGE.format("404 Not Found").encode())
            return
        with open(local, "rb") as f:
            body = f.read()
        if mode == "cut" and local.endswith(".zip"):
            self.send_response(200)
            self.send_header("Content-Type", "application/zip")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        if mode == "trickle" and local.endswith(".zip"):
            self.send_response(200)
            self.send_header("Content-Type", "application/zip")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            try:
                for i in range(0, len(body), 2):
                    self.wfile.write(body[i:i + 2])
                    self.wfile.flush()
                    time.sleep(1)
            except OSError:  # the client gave up, as it should
                pass
            self.close_connection = True
            return
        self.send_body(200, body, "application/octet-stream")

    def forward(self):
        target = urllib.parse.urlsplit(self.path)
        if not target.hostname:
            self.send_body(400, ERROR_PAGE.format("400 Bad Request").encode())
            return
        conn = http.client.HTTPConnection(target.hostname, target.port or 80, timeout=30)
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")}
        conn.request("GET", target.path or "/", headers=headers)
        answer = conn.getresponse()
        body = answer.read()
        conn.close()
        self.send_body(answer.status, body, answer.getheader("Content-Type", "text/html"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["serve", "stall", "cut", "trickle", "proxy"], default="serve")
    parser.add_argument("--root", default=".")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--log", required=True)
    options = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.options = options
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
