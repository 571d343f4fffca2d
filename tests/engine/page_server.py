#!/usr/bin/python3
"""A web server for the page fetch tests.

Routes come from a JSON file that is read again for every request, so a test changes a page by
rewriting the file. Each route may give: status, body (text) or body_hex, headers, one_byte_writes
(send the body a byte at a time), hang (accept and never answer), redirect (a Location),
not_modified_since (answer 304 when If-Modified-Since is present), endless (send blocks of "x" until
the client goes, after the given headers), drip (seconds between the single bytes of a body that
never ends; "drip_bytes" bounds it, "drip_after" bytes come at once before it). A request for an absolute
address ("GET http://host/path") is served as a proxy would serve it. Every request is logged,
one JSON object per line, with its request line and headers.

Usage: page_server.py ROUTES_JSON LOG_FILE PORT_FILE [--tls CERT KEY]
The chosen port is written to PORT_FILE once the server listens.
"""
import base64
import json
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

routes_path, log_path, port_path = sys.argv[1:4]
log_lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with log_lock, open(log_path, "a") as log:
            log.write(json.dumps({"line": self.requestline, "headers": dict(self.headers.items())}) + "\n")
        path = self.path
        with open(routes_path) as f:
            routes = json.load(f)
        if path.startswith("http://") or path.startswith("https://"):
            path = urlsplit(path).path or "/"
            wanted = routes.get("__proxy_auth__")
            if wanted and self.headers.get("Proxy-Authorization") != "Basic " + base64.b64encode(wanted.encode()).decode():
                self.send_response(407)
                self.send_header("Proxy-Authenticate", 'Basic realm="proxy"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
        route = routes.get(path)
        if route is None:
            self.send_response(404)
            body = b"no such page"
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if route.get("hang"):
            time.sleep(3600)
            return
        if route.get("endless") or route.get("drip"):
            self.send_response(route.get("status", 200))
            for name, value in route.get("headers", {}).items():
                self.send_header(name, value)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            try:
                if route.get("endless"):
                    block = b"x" * 65536
                    for _ in range(1 << 16):  # 4 GB at most
                        self.wfile.write(block)
                else:
                    self.wfile.write(b"x" * route.get("drip_after", 0))
                    self.wfile.flush()
                    for _ in range(route.get("drip_bytes", 1000)):
                        self.wfile.write(b"x")
                        self.wfile.flush()
                        time.sleep(route["drip"])
            except OSError:
                pass
            return
        if route.get("not_modified_since") and "If-Modified-Since" in self.headers:
            self.send_response(304)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "body_hex" in route:
            body = bytes.fromhex(route["body_hex"])
        else:
            body = route.get("body", "").encode("utf-8")
        self.send_response(route.get("status", 200))
        for name, value in route.get("headers", {}).items():
            self.send_header(name, value)
        if route.get("redirect"):
            self.send_header("Location", route["redirect"])
        if not route.get("no_length"):
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if route.get("one_byte_writes"):
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
        else:
            self.wfile.write(body)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
if len(sys.argv) > 4 and sys.argv[4] == "--tls":
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[5], sys.argv[6])
    server.socket = context.wrap_socket(server.socket, server_side=True)
with open(port_path + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
import os
os.rename(port_path + ".tmp", port_path)
server.serve_forever()
