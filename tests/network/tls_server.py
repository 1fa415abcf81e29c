#!/usr/bin/env python3
"""HTTPS servers for the TLS cases, one port per kind of certificate, all on
ADDRESS. Makes a test CA and the certificates first (into WORK):

  port   certificate for ADDRESS
  19443  trusted: issued by the test CA (WORK/ca.der, for the test to trust)
  19444  expired, by the test CA
  19445  not yet valid, by the test CA
  19446  by the test CA, but for another address
  19447  self-signed
  19448  issued by a CA nobody trusts

Every port serves the files below FOLDER by path (GET), and:
  /redirect?to=URL   302 to URL
  /loop              302 to /loop, for ever
  /endless           200, 1.5 GB announced, bytes as fast as the client takes them
One line per request goes to WORK/requests.log ("PORT PATH").

usage: tls_server.py --bind ADDRESS --folder FOLDER --work WORK
"""
import argparse
import datetime
import http.server
import ipaddress
import os
import ssl
import sys
import threading
import urllib.parse

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

PORTS = {"trusted": 19443, "expired": 19444, "not_yet_valid": 19445, "wrong_name": 19446,
         "self_signed": 19447, "unknown_ca": 19448}
ENDLESS_LENGTH = 1_500_000_000


def new_key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def certificate(subject, key, issuer, issuer_key, not_before, not_after, ca=False, ip=None):
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(not_before).not_valid_after(not_after)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if ca:
        builder = builder.add_extension(x509.KeyUsage(
            digital_signature=True, content_commitment=False, key_encipherment=False, data_encipherment=False,
            key_agreement=False, key_cert_sign=True, crl_sign=True, encipher_only=False, decipher_only=False),
            critical=True)
    if ip is not None:
        # The address as an IP entry (what browsers and curl match) and as a
        # DNS entry (what Wine's name check matches).
        builder = builder.add_extension(
            x509.SubjectAlternativeName([x509.IPAddress(ipaddress.ip_address(ip)), x509.DNSName(ip)]), critical=False)
        builder = builder.add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]),
                                        critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def make_certificates(address, work):
    now = datetime.datetime.now(datetime.timezone.utc)
    day = datetime.timedelta(days=1)
    ca_key, stranger_key, leaf_key = new_key(), new_key(), new_key()
    ca = certificate(name("fyrel test CA"), ca_key, name("fyrel test CA"), ca_key, now - day, now + 30 * day, ca=True)
    stranger = certificate(name("fyrel stranger CA"), stranger_key, name("fyrel stranger CA"), stranger_key,
                           now - day, now + 30 * day, ca=True)
    leaf = name(address)
    other = "127.19.255.254"
    leaves = {
        "trusted": certificate(leaf, leaf_key, ca.subject, ca_key, now - day, now + 30 * day, ip=address),
        "expired": certificate(leaf, leaf_key, ca.subject, ca_key, now - 30 * day, now - 2 * day, ip=address),
        "not_yet_valid": certificate(leaf, leaf_key, ca.subject, ca_key, now + 2 * day, now + 30 * day, ip=address),
        "wrong_name": certificate(name(other), leaf_key, ca.subject, ca_key, now - day, now + 30 * day, ip=other),
        "self_signed": certificate(leaf, leaf_key, leaf, leaf_key, now - day, now + 30 * day, ip=address),
        "unknown_ca": certificate(leaf, leaf_key, stranger.subject, stranger_key, now - day, now + 30 * day,
                                  ip=address),
    }
    with open(os.path.join(work, "ca.der"), "wb") as f:
        f.write(ca.public_bytes(serialization.Encoding.DER))
    key_path = os.path.join(work, "leaf.key")
    with open(key_path, "wb") as f:
        f.write(leaf_key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption()))
    chains = {}
    for kind, cert in leaves.items():
        path = os.path.join(work, kind + ".pem")
        with open(path, "wb") as f:
            f.write(cert.public_bytes(serialization.Encoding.PEM))
            # The chain the server presents: the leaf and its issuer.
            if kind not in ("self_signed",):
                issuer = stranger if kind == "unknown_ca" else ca
                f.write(issuer.public_bytes(serialization.Encoding.PEM))
        chains[kind] = path
    return chains, key_path


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fyrel-tls"

    def do_GET(self):
        with self.server.log_lock:
            with open(self.server.log_path, "a") as log:
                log.write("%d %s\n" % (self.server.server_port, self.path))
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/redirect":
            self.redirect(urllib.parse.parse_qs(url.query).get("to", ["/"])[0])
        elif url.path == "/loop":
            self.redirect("/loop")
        elif url.path == "/endless":
            self.endless()
        else:
            self.file(url.path)

    def redirect(self, where):
        self.send_response(302)
        self.send_header("Location", where)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def endless(self):
        self.send_response(200)
        self.send_header("Content-Length", str(ENDLESS_LENGTH))
        self.end_headers()
        piece = bytes(range(256)) * 256
        try:
            while True:
                self.wfile.write(piece)
        except (OSError, ssl.SSLError):
            pass
        self.close_connection = True

    def file(self, path):
        local = os.path.normpath(os.path.join(self.server.folder, path.lstrip("/")))
        if not local.startswith(self.server.folder) or not os.path.isfile(local):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(local, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), format % args))
        sys.stderr.flush()


def serve(address, port, chain, key, folder, log_path, log_lock):
    server = http.server.ThreadingHTTPServer((address, port), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(chain, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.folder = folder
    server.log_path = log_path
    server.log_lock = log_lock
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bind", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    chains, key = make_certificates(args.bind, args.work)
    folder = os.path.abspath(args.folder)
    log_path = os.path.join(args.work, "requests.log")
    open(log_path, "w").close()
    log_lock = threading.Lock()
    threads = []
    for kind, port in PORTS.items():
        t = threading.Thread(target=serve, args=(args.bind, port, chains[kind], key, folder, log_path, log_lock),
                             daemon=True)
        t.start()
        threads.append(t)
    sys.stderr.write("TLS servers on %s, ports %s\n" % (args.bind, sorted(PORTS.values())))
    sys.stderr.flush()
    for t in threads:
        t.join()


if __name__ == "__main__":
    main()
