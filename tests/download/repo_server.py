#!/usr/bin/env python3
"""Repository server for the download client's tests (standard library only).

  repo_server.py serve --root DIR --log FILE [--cert PEM --key PEM] [--idle SECONDS]
                       [--credentials USER:PASSWORD]
      Serves the files of DIR on 127.0.0.1 at a free port, printed as "PORT <n>" on the first line
      of standard output. Every request (path and headers) and every connection (with the number of
      connections open at that moment) is appended to FILE as one JSON object per line. With a
      certificate it speaks HTTPS only. It ends by itself after SECONDS without a request (60) and as
      soon as the process that started it is gone.

  repo_server.py certs DIR [--ca-cert PEM --ca-key PEM]
      Writes test certificates with the openssl program: ca.pem (a fresh authority, unless one is
      given), trusted.pem/key for "quillon.test" and other-host.pem/key for "other.test", both signed
      by the authority, and untrusted.pem/key, a self-signed one for "quillon.test".

Query parameters of a request shape the answer:
  status=N       answer with HTTP status N (302 and 301 carry a Location header)
  auth=1         ask for basic authentication until the request carries the --credentials
  sha1=, md5=    X-Checksum-Sha1 / X-Checksum-Md5: "ok", "upper" (upper-case hex) or "bad"
  length=no      no Content-Length: the body ends when the connection closes
  chunks=N       send the body in N pieces, `delay` ms apart (default 20)
  stall=MS       send the first half of the body, then nothing for MS ms, then close
  hold=MS        wait MS ms before answering
"""

import argparse
import base64
import hashlib
import http.server
import json
import os
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse


class RepositoryServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, root, log_path, context, credentials):
        super().__init__(("127.0.0.1", 0), RequestHandler)
        self.credentials = credentials
        self.root = os.path.realpath(root)
        self.log_path = log_path
        self.context = context
        self.lock = threading.Lock()
        self.active = 0
        self.last_activity = time.monotonic()

    def record(self, entry):
        with self.lock:
            self.last_activity = time.monotonic()
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps(entry) + "\n")

    def get_request(self):
        connection, address = self.socket.accept()
        if self.context is not None:
            # The handshake happens in the connection's own thread, at its first read.
            connection = self.context.wrap_socket(connection, server_side=True,
                                                  do_handshake_on_connect=False)
        return connection, address

    def process_request_thread(self, request, client_address):
        with self.lock:
            self.active += 1
            active = self.active
        self.record({"event": "connection", "active": active})
        try:
            super().process_request_thread(request, client_address)
        finally:
            with self.lock:
                self.active -= 1
                self.last_activity = time.monotonic()

    def handle_error(self, request, client_address):
        # A refused handshake or a client that went away: nothing to report.
        self.record({"event": "error", "error": str(sys.exc_info()[1])})


class RequestHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        self.server.record({"event": "request", "path": self.path,
                            "headers": {name: value for name, value in self.headers.items()}})
        if "hold" in query:
            time.sleep(int(query["hold"]) / 1000.0)
        if "auth" in query and not self.authorized(self.server.credentials):
            self.answer(401, b"authentication required",
                        {"WWW-Authenticate": 'Basic realm="repository"'})
            return
        status = int(query.get("status", "200"))
        if status in (301, 302):
            self.answer(status, b"<html>moved</html>", {"Location": "/elsewhere"})
            return
        if status != 200:
            self.answer(status, b"failure page")
            return
        path = os.path.realpath(os.path.join(self.server.root, url.path.lstrip("/")))
        if not path.startswith(self.server.root + os.sep) or not os.path.isfile(path):
            self.answer(404, b"not found")
            return
        with open(path, "rb") as source:
            body = source.read()
        headers = {}
        for name, digest in (("X-Checksum-Sha1", hashlib.sha1), ("X-Checksum-Md5", hashlib.md5)):
            wanted = query.get("sha1" if "Sha1" in name else "md5")
            if wanted == "ok":
                headers[name] = digest(body).hexdigest()
            elif wanted == "upper":
                headers[name] = digest(body).hexdigest().upper()
            elif wanted == "bad":
                headers[name] = digest(body + b"x").hexdigest()
        self.send_body(body, headers, query)

    def authorized(self, credentials):
        expected = "Basic " + base64.b64encode(credentials.encode("utf-8")).decode("ascii")
        return self.headers.get("Authorization") == expected

    def answer(self, status, body, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def send_body(self, body, headers, query):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        for name, value in headers.items():
            self.send_header(name, value)
        if query.get("length") != "no":
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if "stall" in query:
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            time.sleep(int(query["stall"]) / 1000.0)
            return
        pieces = max(1, int(query.get("chunks", "1")))
        delay = int(query.get("delay", "20")) / 1000.0
        step = max(1, (len(body) + pieces - 1) // pieces)
        for start in range(0, len(body), step):
            self.wfile.write(body[start:start + step])
            self.wfile.flush()
            if pieces > 1:
                time.sleep(delay)


def serve(arguments):
    context = None
    if arguments.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(arguments.cert, arguments.key)
    server = RepositoryServer(arguments.root, arguments.log, context, arguments.credentials or "")
    parent = os.getppid()

    def watchdog():
        while True:
            time.sleep(0.2)
            with server.lock:
                idle = time.monotonic() - server.last_activity
                busy = server.active > 0
            if os.getppid() != parent or (idle > arguments.idle and not busy):
                os._exit(0)

    threading.Thread(target=watchdog, daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


def openssl(*arguments):
    subprocess.run(["openssl"] + list(arguments), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def certificates(arguments):
    folder = arguments.dir
    os.makedirs(folder, exist_ok=True)
    key_options = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    ca_cert, ca_key = arguments.ca_cert, arguments.ca_key
    if not ca_cert:
        ca_cert, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
        openssl("req", "-x509", *key_options, "-keyout", ca_key, "-out", ca_cert, "-days", "2",
                "-subj", "/CN=Quillon test authority")
    for name, host in (("trusted", "quillon.test"), ("other-host", "other.test")):
        key, request = os.path.join(folder, name + ".key"), os.path.join(folder, name + ".csr")
        extensions = os.path.join(folder, name + ".ext")
        with open(extensions, "w", encoding="ascii") as file:
            file.write("subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n" % host)
        openssl("req", *key_options, "-keyout", key, "-out", request, "-subj", "/CN=" + host)
        openssl("x509", "-req", "-in", request, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial",
                "-CAserial", os.path.join(folder, "ca.srl"),
                "-out", os.path.join(folder, name + ".pem"), "-days", "2", "-extfile", extensions)
    openssl("req", "-x509", *key_options, "-keyout", os.path.join(folder, "untrusted.key"),
            "-out", os.path.join(folder, "untrusted.pem"), "-days", "2", "-subj", "/CN=quillon.test",
            "-addext", "subjectAltName=DNS:quillon.test")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    serving = commands.add_parser("serve")
    serving.add_argument("--root", required=True)
    serving.add_argument("--log", required=True)
    serving.add_argument("--cert")
    serving.add_argument("--key")
    serving.add_argument("--idle", type=float, default=60.0)
    serving.add_argument("--credentials")
    making = commands.add_parser("certs")
    making.add_argument("dir")
    making.add_argument("--ca-cert")
    making.add_argument("--ca-key")
    arguments = parser.parse_args()
    if arguments.command == "serve":
        serve(arguments)
    else:
        certificates(arguments)


if __name__ == "__main__":
    main()
