"""Certificates for test servers on localhost, made by Debian's openssl in a
test's set-up and never kept: a CA of the test's own and a server
certificate it signed for the name localhost. And the private Wine prefix
trusting such a CA for a while, through trust_root."""
import base64
import hashlib
import os
import secrets
import subprocess

from e2e import WINE_EXEC

SERVER_EXTENSIONS = """basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
"""


def openssl(*args, stdin=None):
    return subprocess.run(["openssl", *args], input=stdin, check=True, capture_output=True).stdout


class TestCertificates:
    """A CA named name (ca, and its DER form ca_der) and a server certificate
    for localhost that it signed (certificate, key), all in folder."""

    def __init__(self, folder, name):
        os.makedirs(folder, exist_ok=True)
        path = lambda suffix: os.path.join(folder, f"{name}-{suffix}")  # noqa: E731
        self.ca, self.ca_der = path("ca.pem"), path("ca.der")
        self.certificate, self.key = path("server.pem"), path("server.key")
        ca_key, request, extensions = path("ca.key"), path("server.csr"), path("server.ext")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", self.ca, "-days", "2",
                "-subj", f"/CN=Quillmoor test CA {name}", "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        openssl("x509", "-in", self.ca, "-outform", "DER", "-out", self.ca_der)
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key, "-out", request, "-subj", "/CN=localhost")
        with open(extensions, "w") as f:
            f.write(SERVER_EXTENSIONS)
        openssl("x509", "-req", "-in", request, "-CA", self.ca, "-CAkey", ca_key, "-set_serial",
                "0x" + secrets.token_hex(8), "-days", "2", "-extfile", extensions, "-out", self.certificate)

    def spki_sha256(self):
        """The base64 SHA-256 of the server's public key, as chromium's
        --ignore-certificate-errors-spki-list takes it."""
        key = openssl("pkey", "-in", self.key, "-pubout", "-outform", "DER")
        return base64.b64encode(hashlib.sha256(key).digest()).decode()


def trust_ca(trust_root, certificates, trusted=True):
    """Adds the CA of certificates to the private prefix's machine Root store,
    or removes it when not trusted. True when trust_root did so."""
    return subprocess.run([WINE_EXEC, trust_root, "--add" if trusted else "--remove", certificates.ca_der],
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0
