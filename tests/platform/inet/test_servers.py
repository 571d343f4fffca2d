"""Loopback peers for the internet layer's tests.

Usage: test_servers.py MODE [options]; prints the port it listens on, then serves until killed.
  http NAME              an HTTP server whose answers name it (see Handler)
  https NAME CERT KEY    the same over TLS
  silent                 accepts connections and never answers
  garbage                answers every connection with bytes that are not HTTP
  full                   a listener whose queue is full: connecting to it never completes
  proxy [USER:PASSWORD]  a forwarding proxy (absolute-URI requests and CONNECT tunnels)
"""
import base64
import http.client
import http.server
import select
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse


def pattern(size):
    return bytes((i * 7 + i // 251) % 256 for i in range(size))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_name_text = "server"

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def send_body(self, body, chunk=None, length=True, status=200, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.flush()
        if chunk:
            for i in range(0, len(body), chunk):
                self.wfile.write(body[i:i + chunk])
                self.wfile.flush()
        else:
            self.wfile.write(body)

    def reset(self):
        # A reset (RST) rather than an orderly end (FIN): no lingering, so close aborts.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()
        self.close_connection = True

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        path = url.path
        if path == "/body":
            chunk = int(query.get("chunk", "0")) or None
            self.send_body(pattern(int(query.get("size", "0"))), chunk=chunk,
                           length=query.get("length", "1") == "1")
        elif path == "/chunked":
            body = pattern(int(query.get("size", "0")))
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            step = int(query.get("chunk", "1000"))
            for i in range(0, len(body), step):
                piece = body[i:i + step]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
                self.wfile.flush()
            self.wfile.write(b"0\r\n\r\n")
        elif path == "/auth":
            expected = "Basic " + base64.b64encode(b"site:word").decode()
            if self.headers.get("Authorization") == expected:
                self.send_body(b"authorised")
            else:
                self.send_body(b"who are you", status=401,
                               headers=[("WWW-Authenticate", 'Basic realm="test"')])
        elif path == "/whoami":
            # Who answered, what it was asked and with which headers.
            lines = ["server: " + self.server_name_text, "path: " + self.path]
            lines += ["%s: %s" % (k, v) for k, v in self.headers.items()]
            self.send_body(("\n".join(lines) + "\n").encode())
        elif path == "/lastmod":
            self.send_body(b"dated", headers=[("Last-Modified", "Tue, 15 Nov 1994 08:12:31 GMT")])
        elif path.startswith("/status/"):
            code = int(path[len("/status/"):])
            self.send_body(b"status page", status=code)
        elif path == "/redirect":
            self.send_body(b"", status=302, headers=[("Location", "/whoami?redirected=1")])
        elif path == "/stall":
            # Announces 100 bytes, sends 10 and then nothing.
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            time.sleep(60)
        elif path == "/stall-headers":
            time.sleep(60)
        elif path == "/reset":
            # Announces 1000 bytes, sends 100 and resets the connection.
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(pattern(100))
            self.wfile.flush()
            self.reset()
        elif path == "/reset-at-once":
            self.reset()
        else:
            self.send_body(b"not found", status=404)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve_http(name, cert=None, key=None):
    Handler.server_name_text = name
    server = Server(("127.0.0.1", 0), Handler)
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    announce(server.server_address[1])
    server.serve_forever()


def serve_raw(answer):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    announce(listener.getsockname()[1])
    kept = []
    while True:
        conn, _ = listener.accept()
        if answer is None:
            kept.append(conn)  # never answered, never closed
        else:
            try:
                conn.recv(65536)
                conn.sendall(answer)
            finally:
                conn.close()


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    credentials = None

    def log_message(self, *args):
        pass

    def authorised(self):
        if not self.credentials:
            return True
        given = self.headers.get("Proxy-Authorization", "")
        expected = "Basic " + base64.b64encode(self.credentials.encode()).decode()
        if given == expected:
            return True
        self.send_response(407)
        self.send_header("Proxy-Authenticate", 'Basic realm="test"')
        self.send_header("Content-Length", "0")
        self.end_headers()
        return False

    def do_CONNECT(self):
        if not self.authorised():
            return
        host, port = self.path.rsplit(":", 1)
        upstream = socket.create_connection((host, int(port)))
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        sockets = [self.connection, upstream]
        while True:
            readable, _, _ = select.select(sockets, [], [], 30)
            if not readable:
                break
            for s in readable:
                data = s.recv(65536)
                if not data:
                    upstream.close()
                    self.close_connection = True
                    return
                (upstream if s is self.connection else self.connection).sendall(data)

    def do_GET(self):
        if not self.authorised():
            return
        url = urllib.parse.urlsplit(self.path)
        upstream = http.client.HTTPConnection(url.hostname, url.port or 80, timeout=30)
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection")}
        target = url.path + ("?" + url.query if url.query else "")
        upstream.request("GET", target, headers=headers)
        response = upstream.getresponse()
        body = response.read()
        self.send_response(response.status)
        for k, v in response.getheaders():
            if k.lower() not in ("content-length", "connection", "transfer-encoding"):
                self.send_header(k, v)
        self.send_header("X-Test-Proxy", "1")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def serve_full():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(4):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        fillers.append(s)
    announce(port)
    while True:
        time.sleep(60)


def serve_proxy(credentials):
    ProxyHandler.credentials = credentials
    server = Server(("127.0.0.1", 0), ProxyHandler)
    announce(server.server_address[1])
    server.serve_forever()


def announce(port):
    sys.stdout.write("%d\n" % port)
    sys.stdout.flush()


def main():
    mode = sys.argv[1]
    if mode == "http":
        serve_http(sys.argv[2])
    elif mode == "https":
        serve_http(sys.argv[2], sys.argv[3], sys.argv[4])
    elif mode == "silent":
        serve_raw(None)
    elif mode == "garbage":
        serve_raw(b"this is not an HTTP response\r\n\r\n")
    elif mode == "full":
        serve_full()
    elif mode == "proxy":
        serve_proxy(sys.argv[2] if len(sys.argv) > 2 else None)


if __name__ == "__main__":
    main()
