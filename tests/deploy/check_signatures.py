#!/usr/bin/env python3
"""Verifies the Authenticode signatures of the deliverables and the package.
check_signatures.py <osslsigncode> <openssl> <package> -- <signing folder> <file>... [-- <signing folder> <file>...]

Each group names a build's signing folder (trusted.pem: the certificates a
verification trusts; signer.pem: the certificate that signs) and files that
build signed; the first group's build signed the package too. Every file
and the package must verify against its group's trusted certificates, and
the signature must come from its group's signing certificate. The programs
and libraries inside the package must be the verified files themselves.
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def serial_of(openssl, certificate):
    text = subprocess.run([openssl, "x509", "-noout", "-serial", "-in", certificate], check=True,
                          capture_output=True, text=True).stdout
    return text.strip().split("=", 1)[1].upper()


def verify(osslsigncode, folder, signer_serial, path):
    run = subprocess.run([osslsigncode, "verify", "-CAfile", os.path.join(folder, "trusted.pem"), "-in", path],
                         capture_output=True, text=True)
    # The signer's own certificate is listed first, before the chain.
    signer = run.stdout.split("Signer's certificate:", 1)[-1]
    serial = re.search(r"Serial\s*:\s*([0-9A-Fa-f]+)", signer)
    check(run.returncode == 0 and "Signature verification: ok" in run.stdout,
          f"{path}: the signature does not verify: {run.stdout[-400:]}{run.stderr[-400:]}")
    check(serial is not None and serial.group(1).upper() == signer_serial,
          f"{path}: signed by {serial.group(1) if serial else 'nobody'}, not by {signer_serial}")


def digest(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def main():
    osslsigncode, openssl, package = sys.argv[1:4]
    groups = []
    for argument in sys.argv[4:]:
        if argument == "--":
            groups.append([])
        else:
            groups[-1].append(argument)
    verified = {}
    for index, (folder, *files) in enumerate(groups):
        serial = serial_of(openssl, os.path.join(folder, "signer.pem"))
        for path in files + ([package] if index == 0 else []):
            verify(osslsigncode, folder, serial, path)
            verified[digest(path)] = path
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["msiextract", "-C", folder, package], check=True, capture_output=True)
        carried = [os.path.join(root, name) for root, _, names in os.walk(folder) for name in names
                   if name.lower().endswith((".exe", ".dll"))]
        check(carried, "the package carries no programs")
        for path in carried:
            check(digest(path) in verified,
                  f"the package's {os.path.relpath(path, folder)} is none of the verified files")
    for failure in failures:
        print("FAILED:", failure)
    print(f"signatures: {len(verified)} file(s) and the package's {len(carried)} program(s) checked, "
          f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
