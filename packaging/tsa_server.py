#!/usr/bin/env python3
# A throwaway RFC 3161 time-stamping authority on 127.0.0.1 for the signing test: makes a root and
# a time-stamping certificate in DIR (DIR/tsa_root.pem is what a verifier trusts), prints the port
# it listens on, then answers time-stamp queries with `openssl ts -reply` until it is killed.
# usage: packaging/tsa_server.py DIR
import http.server
import os
import subprocess
import sys

CONFIG = """\
[ tsa_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[ tsa ]
serial = {dir}/serial
signer_cert = {dir}/tsa.pem
signer_key = {dir}/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def make_authority(d):
    with open(os.path.join(d, "tsa.cnf"), "w") as f:
        f.write(CONFIG.format(dir=d))
    with open(os.path.join(d, "serial"), "w") as f:
        f.write("01\n")

    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, cwd=d, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650", "-subj",
            "/CN=Vexor2 test time-stamping root", "-keyout", "tsa_root.key", "-out", "tsa_root.pem")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Vexor2 test time-stamping",
            "-keyout", "tsa.key", "-out", "tsa.csr")
    openssl("x509", "-req", "-in", "tsa.csr", "-CA", "tsa_root.pem", "-CAkey", "tsa_root.key",
            "-set_serial", "2", "-days", "3650", "-extfile", "tsa.cnf", "-extensions", "tsa_ext",
            "-out", "tsa.pem")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", f"{DIR}/tsa.cnf", "-section",
                                "tsa", "-queryfile", "/dev/stdin", "-chain", f"{DIR}/tsa_root.pem",
                                "-out", "/dev/stdout"], input=query, capture_output=True)
        ok = reply.returncode == 0 and reply.stdout
        self.send_response(200 if ok else 400)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout) if ok else 0))
        self.end_headers()
        if ok:
            self.wfile.write(reply.stdout)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    DIR = os.path.abspath(sys.argv[1])
    make_authority(DIR)
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()
