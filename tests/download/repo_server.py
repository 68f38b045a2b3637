#!/usr/bin/python3
"""Repository server for the download client's tests (standard library only).

  repo_server.py serve --root DIR --log FILE [--cert PEM --key PEM] [--idle SECONDS]
                       [--credentials USER:PASSWORD]
      Serves the files of DIR on 127.0.0.1 at a free port, printed as "PORT <n>" on the first line
      of standard output. Every request (path and headers) and every connection (with the number of
      connections open at that moment) is appended to FILE as one JSON object per line. With a
      certificate it speaks HTTPS only. It ends by itself after SECONDS without a request (60) and as
      soon as the process that started it is gone.

  repo_server.py certs DIR [--ca-cert PEM --ca-key PEM] [--generator auto|openssl|python]
      Writes RSA test certificates: ca.pem/key (a fresh authority, unless one is given),
      trusted.pem/key for "quillon.test" and other-host.pem/key for "other.test", both signed by the
      authority, and untrusted.pem/key, a self-signed one for "quillon.test". They are made with the
      openssl program when there is one ("auto"), otherwise in plain Python.

Query parameters of a request shape the answer:
  status=N       answer with HTTP status N (302 and 301 carry a Location header)
  auth=1         ask for basic authentication until the request carries the --credentials
  sha1=, md5=    X-Checksum-Sha1 / X-Checksum-Md5: "ok", "upper" (upper-case hex) or "bad"
  length=no      no Content-Length: the body ends when the connection closes
  chunks=N       send the body in N pieces, `delay` ms apart (default 20)
  stall=MS       send the first half of the body, then nothing for MS ms, then close
  hold=MS        wait MS ms before answering
  short=N        announce the whole body but send N bytes less, then close
  status=204     an empty answer; status=206 a part of the file with its Content-Range

The path "generated.bin?size=N" serves N bytes made on the fly (never held in memory whole):
1 MiB blocks, each the block's number in 8 bytes followed by a fixed pattern; sha1= and md5=
work as for files, the digests computed by a pass over the same blocks before the answer.
"""

import argparse
import base64
import datetime
import hashlib
import http.server
import json
import math
import os
import secrets
import shutil
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
        if status == 204:
            self.send_response(204)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            return
        if status not in (200, 206):
            self.answer(status, b"failure page")
            return
        if url.path == "/generated.bin":
            size = int(query["size"])
            self.send_blocks(lambda: generated_blocks(size), size, query)
            return
        path = os.path.realpath(os.path.join(self.server.root, url.path.lstrip("/")))
        if not path.startswith(self.server.root + os.sep) or not os.path.isfile(path):
            self.answer(404, b"not found")
            return
        with open(path, "rb") as source:
            body = source.read()
        if status == 206:
            part = body[: len(body) // 2]
            self.answer(206, part, {"Content-Range": "bytes 0-%d/%d" % (len(part) - 1, len(body))})
            return
        if "short" in query:
            self.send_blocks(lambda: [body], len(body), query)
            return
        self.send_body(body, checksum_headers(lambda: [body], query), query)

    def send_blocks(self, blocks, size, query):
        """Streams a large body block by block; "short" leaves its last bytes out."""
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        for name, value in checksum_headers(blocks, query).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(size))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        remaining = size - int(query.get("short", "0"))
        for block in blocks():
            if remaining <= 0:
                break
            self.wfile.write(block[:remaining])
            remaining -= len(block)
        self.wfile.flush()

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


def checksum_headers(blocks, query):
    """X-Checksum-* headers as the query asks, over the body that `blocks()` yields."""
    headers = {}
    for name, algorithm, key in (("X-Checksum-Sha1", hashlib.sha1, "sha1"), ("X-Checksum-Md5", hashlib.md5, "md5")):
        wanted = query.get(key)
        if wanted not in ("ok", "upper", "bad"):
            continue
        digest = algorithm()
        for block in blocks():
            digest.update(block)
        if wanted == "bad":
            digest.update(b"x")
        headers[name] = digest.hexdigest().upper() if wanted == "upper" else digest.hexdigest()
    return headers


GENERATED_BLOCK = 1024 * 1024
GENERATED_PATTERN = bytes((i * 131 + i // 251) & 0xFF for i in range(GENERATED_BLOCK - 8))


def generated_blocks(size):
    """The body of "generated.bin?size=N", one block at a time."""
    for number in range((size + GENERATED_BLOCK - 1) // GENERATED_BLOCK):
        yield (number.to_bytes(8, "big") + GENERATED_PATTERN)[: size - number * GENERATED_BLOCK]


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


def certificates_with_openssl(folder, ca_cert, ca_key):
    key_options = ["-newkey", "rsa:2048", "-nodes"]
    if not ca_cert:
        ca_cert, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
        openssl("req", "-x509", *key_options, "-keyout", ca_key, "-out", ca_cert, "-days", "2",
                "-subj", "/CN=Quillon test authority")
    for name, host in LEAVES:
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


# ---- The same without the openssl program: RSA keys and X.509 certificates in plain Python ----

def der(tag, content):
    length = len(content)
    if length < 0x80:
        return bytes([tag, length]) + content
    size = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(size)]) + size + content


def der_integer(value):
    return der(0x02, value.to_bytes(value.bit_length() // 8 + 1, "big"))


def der_sequence(*items):
    return der(0x30, b"".join(items))


def der_oid(text):
    numbers = [int(part) for part in text.split(".")]
    body = bytes([numbers[0] * 40 + numbers[1]])
    for number in numbers[2:]:
        chunk = [number & 0x7F]
        number >>= 7
        while number:
            chunk.insert(0, 0x80 | (number & 0x7F))
            number >>= 7
        body += bytes(chunk)
    return der(0x06, body)


def der_bits(data):
    return der(0x03, b"\0" + data)


def der_time(moment):
    return der(0x17, moment.strftime("%y%m%d%H%M%SZ").encode("ascii"))


def der_name(common_name):
    return der_sequence(der(0x31, der_sequence(der_oid("2.5.4.3"), der(0x0C, common_name.encode("utf-8")))))


def der_extension(oid, value, critical=False):
    return der_sequence(der_oid(oid), *([der(0x01, b"\xff")] if critical else []), der(0x04, value))


def der_children(content):
    """(tag, content, whole element) of each element of a constructed value."""
    children, offset = [], 0
    while offset < len(content):
        tag, length, start = content[offset], content[offset + 1], offset + 2
        if length & 0x80:
            size = length & 0x7F
            length, start = int.from_bytes(content[start:start + size], "big"), start + size
        children.append((tag, content[start:start + length], content[offset:start + length]))
        offset = start + length
    return children


def pem(kind, data):
    text = base64.encodebytes(data).decode("ascii").replace("\n", "")
    lines = [text[i:i + 64] for i in range(0, len(text), 64)]
    return "-----BEGIN %s-----\n%s\n-----END %s-----\n" % (kind, "\n".join(lines), kind)


def unpem(path):
    with open(path, encoding="ascii") as file:
        lines = [line for line in file.read().splitlines() if line and not line.startswith("-----")]
    return base64.b64decode("".join(lines))


SMALL_PRIMES = [p for p in range(3, 2000) if all(p % q for q in range(2, int(p ** 0.5) + 1))]


def is_probable_prime(candidate, rounds=24):
    if any(candidate % prime == 0 for prime in SMALL_PRIMES):
        return False
    odd, twos = candidate - 1, 0
    while odd % 2 == 0:
        odd, twos = odd // 2, twos + 1
    for _ in range(rounds):
        value = pow(secrets.randbelow(candidate - 3) + 2, odd, candidate)
        if value in (1, candidate - 1):
            continue
        for _ in range(twos - 1):
            value = pow(value, 2, candidate)
            if value == candidate - 1:
                break
        else:
            return False
    return True


def rsa_key(bits=2048):
    exponent = 65537
    while True:
        primes = []
        while len(primes) < 2:
            candidate = secrets.randbits(bits // 2) | (3 << (bits // 2 - 2)) | 1
            if is_probable_prime(candidate):
                primes.append(candidate)
        p, q = primes
        phi = (p - 1) * (q - 1)
        if p != q and math.gcd(exponent, phi) == 1:
            return {"n": p * q, "e": exponent, "d": pow(exponent, -1, phi), "p": p, "q": q}


def rsa_key_pem(key):
    n, e, d, p, q = key["n"], key["e"], key["d"], key["p"], key["q"]
    fields = [0, n, e, d, p, q, d % (p - 1), d % (q - 1), pow(q, -1, p)]
    return pem("RSA PRIVATE KEY", der_sequence(*[der_integer(value) for value in fields]))


def read_rsa_key(path):
    body = unpem(path)
    fields = der_children(der_children(body)[0][1])
    if fields[1][0] == 0x30:  # PKCS#8: the RSA key sits in an octet string
        fields = der_children(der_children(fields[2][1])[0][1])
    n, e, d, p, q = [int.from_bytes(field[1], "big") for field in fields[1:6]]
    return {"n": n, "e": e, "d": d, "p": p, "q": q}


def rsa_sign(key, data):
    digest_info = bytes.fromhex("3031300d060960864801650304020105000420") + hashlib.sha256(data).digest()
    size = (key["n"].bit_length() + 7) // 8
    block = b"\x00\x01" + b"\xff" * (size - 3 - len(digest_info)) + b"\x00" + digest_info
    return pow(int.from_bytes(block, "big"), key["d"], key["n"]).to_bytes(size, "big")


SHA256_WITH_RSA = der_sequence(der_oid("1.2.840.113549.1.1.11"), der(0x05, b""))


def make_certificate(key, subject, issuer_key, issuer, hosts=(), authority=False):
    now = datetime.datetime.now(datetime.timezone.utc)
    public_key = der_sequence(der_sequence(der_oid("1.2.840.113549.1.1.1"), der(0x05, b"")),
                              der_bits(der_sequence(der_integer(key["n"]), der_integer(key["e"]))))
    if authority:
        extensions = [der_extension("2.5.29.19", der_sequence(der(0x01, b"\xff")), critical=True),
                      der_extension("2.5.29.15", der(0x03, b"\x01\x06"), critical=True)]
    else:
        extensions = [der_extension("2.5.29.17", der_sequence(*[der(0x82, host.encode("ascii")) for host in hosts])),
                      der_extension("2.5.29.37", der_sequence(der_oid("1.3.6.1.5.5.7.3.1")))]
    body = der_sequence(der(0xA0, der_integer(2)), der_integer(secrets.randbits(63) + 1), SHA256_WITH_RSA,
                        issuer, der_sequence(der_time(now - datetime.timedelta(days=1)),
                                             der_time(now + datetime.timedelta(days=2))),
                        subject, public_key, der(0xA3, der_sequence(*extensions)))
    return pem("CERTIFICATE", der_sequence(body, SHA256_WITH_RSA, der_bits(rsa_sign(issuer_key, body))))


def write(path, text):
    with open(path, "w", encoding="ascii") as file:
        file.write(text)


def certificates_with_python(folder, ca_cert, ca_key):
    if ca_cert:
        authority_key = read_rsa_key(ca_key)
        body = der_children(der_children(der_children(unpem(ca_cert))[0][1])[0][1])
        authority = body[5][2]  # the subject of the authority's own certificate
    else:
        authority_key, authority = rsa_key(), der_name("Quillon test authority")
        write(os.path.join(folder, "ca.pem"), make_certificate(authority_key, authority, authority_key, authority,
                                                               authority=True))
        write(os.path.join(folder, "ca.key"), rsa_key_pem(authority_key))
    key = rsa_key()  # one key serves every server certificate
    for name, host in LEAVES + (("untrusted", "quillon.test"),):
        self_signed = name == "untrusted"
        subject = der_name(host)
        write(os.path.join(folder, name + ".pem"),
              make_certificate(key, subject, key if self_signed else authority_key,
                               subject if self_signed else authority, hosts=(host,)))
        write(os.path.join(folder, name + ".key"), rsa_key_pem(key))


LEAVES = (("trusted", "quillon.test"), ("other-host", "other.test"))


def certificates(arguments):
    os.makedirs(arguments.dir, exist_ok=True)
    generator = arguments.generator
    if generator == "auto":
        generator = "openssl" if shutil.which("openssl") else "python"
    make = certificates_with_openssl if generator == "openssl" else certificates_with_python
    make(arguments.dir, arguments.ca_cert, arguments.ca_key)


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
    making.add_argument("--generator", choices=("auto", "openssl", "python"), default="auto")
    arguments = parser.parse_args()
    if arguments.command == "serve":
        serve(arguments)
    else:
        certificates(arguments)


if __name__ == "__main__":
    main()
