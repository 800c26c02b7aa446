#!/usr/bin/env python3
"""sentrel-check's lint and exit statuses: one table of documents, each with
the status and the findings (by a word of each) it must give, and optionally
words no finding may hold; then --version against the configured version.
checker_lint_test.py <sentrel-check> <version>"""
import json
import os
import subprocess
import sys
import tempfile

CASES = [
    # (document, expected status, words the findings must contain[, words none may contain])
    ('<lockSettings active="Y"><host name="corp"/></lockSettings>', 0, ["corp.attacker.test"]),
    ('<lockSettings active="Y" reverseOperation="Y"><host name="games"/></lockSettings>', 0, []),
    ('<lockSettings active="Y"><host name="http://corp/"/></lockSettings>', 0, ["scheme or a path"]),
    ('<lockSettings active="Y"><host name="corp:8080"/></lockSettings>', 0, ["%3A"]),
    ('<lockSettings active="Y" reverseOperation="Y"><host name="Corp"/></lockSettings>', 0, ["capital letters"]),
    ('<lockSettings active="Y" reverseOperation="Y"><host name=""/></lockSettings>', 0, ["every address"]),
    ('<lockSettings active="Y" reverseOperation="Y"><host name="a"/><host name="a"/></lockSettings>', 0,
     ["more than once"]),
    ('<lockSettings active="Y" password="bgcgdg"/>', 0, ["reversible form", "--hash-password"]),
    ('<lockSettings active="Y" password="$pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw$'
     'LIR29uofaeVEqJJhJfFPWhTNRLE1ZfudZn8to5pnk5U"/>', 0, [], ["reversible"]),
    ('<lockSettings active="Y" password="$pbkdf2-sha256$1000$AAECAw$AAAA"/>', 1, ["rejects"]),
    ('<lockSettings active="Y" blockPopups="yes"/>', 0, ['reads as "N"']),
    ('<lockSettings active="true"/>', 0, ['reads as "N"']),
    ('<lockSettings active="Y" blockPopup="Y"/>', 0, ["unknown attribute"]),
    # Host names in a substring allow list: one suggestion of whole-host matching.
    ('<lockSettings active="Y"><host name="corp.example"/><host name="10.0.0.1"/></lockSettings>', 0,
     ['hostMatching="domain"', '"corp.example.attacker.test"', '"10.0.0.1.attacker.test"'],
     ['entry "corp.example" also']),
    ('<lockSettings active="Y" reverseOperation="Y"><host name="corp.example"/></lockSettings>', 0, [],
     ["hostMatching"]),
    # Whole-host matching: letter case and ports count no more, nor do substrings.
    ('<lockSettings active="Y" hostMatching="Domain"><host name="Corp.example"/><host name="corp:8080"/>'
     '<host name="corp"/></lockSettings>', 0, [], ["capital", "%3A", "attacker", "hostMatching"]),
    ('<lockSettings active="Y" hostMatching="domain"><host name="http://corp/"/></lockSettings>', 0,
     ["names no host"]),
    ('<lockSettings active="Y" hostMatching="domain"><host name="a..b"/><host name="999.1.2.3"/>'
     '<host name="corp.example"/></lockSettings>', 0, ['"a..b" names no host', '"999.1.2.3" names no host'],
     ['"corp.example"']),
    ('<lockSettings active="Y" hostMatching="domain"><host name=""/></lockSettings>', 0, ["covers every host"]),
    ('<lockSettings active="Y" hostMatching="SUBSTRING"/>', 0, [], ["reads as"]),
    ('<lockSettings active="Y" hostMatching="domains"/>', 0, ['reads as "substring"'], ['reads as "N"']),
    ('<lockSettings active="Y" errorPage="file:///C:/x.htm"/>', 0, ["no host"]),
    ('<lockSettings/>', 0, ["no \"active\""]),
    ('<lockSettings active="Y"><host/></lockSettings>', 1, ["rejects"]),
    ('<lockSettings active="Y">text</lockSettings>', 1, ["rejects"]),
    ('<other/>', 1, ["no lockSettings"]),
    ('<lockSettings', 1, ["not well-formed"]),
    ('<!DOCTYPE lockSettings><lockSettings/>', 1, ["document type"]),
]


def main():
    checker, version = sys.argv[1:3]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "lock.xml")
        for document, status, words, *absent in CASES:
            with open(path, "w", encoding="latin-1") as f:
                f.write(document)
            run = subprocess.run([checker, "--lint", "--json", path], capture_output=True, text=True)
            findings = json.loads(run.stdout)["findings"] if run.stdout.strip() else []
            messages = " | ".join(f["message"] for f in findings)
            missing = [word for word in words if word not in messages]
            unwanted = [word for word in (absent[0] if absent else []) if word in messages]
            if (run.returncode != status or missing or unwanted
                    or (not words and any(f["severity"] != "note" for f in findings))):
                failures += 1
                print(f"FAILED {document}: status {run.returncode} (expected {status}), findings: {messages}")
        # Addresses on standard input, answered in order.
        with open(path, "w") as f:
            f.write('<lockSettings active="Y"><host name="corp"/></lockSettings>')
        run = subprocess.run([checker, "--json", path], input="http://corp/\r\nhttp://other/\n\n",
                             capture_output=True, text=True)
        answers = [(d["address"], d["allowed"], d["reason"], d["recorded"]) for d in json.loads(run.stdout)["decisions"]]
        if run.returncode != 0 or answers != [("http://corp/", True, "entry-matched", False),
                                              ("http://other/", False, "no-entry-matched", True)]:
            failures += 1
            print(f"FAILED addresses on standard input: {run.returncode} {answers}")
        # Whole-host matching explained: the entry covering the canonical host, or the host text refused.
        with open(path, "w") as f:
            f.write('<lockSettings active="Y" hostMatching="domain"><host name="corp.example"/></lockSettings>')
        explained = [
            ("http://WWW.Corp.Example./", 'allowed', 'the entry "corp.example" covers the host "www.corp.example"'),
            ("http://corp.example.attacker.test/", 'REFUSED', 'no entry covers the host "corp.example.attacker.test"'),
            ("http://a..b/", 'REFUSED', 'the host "a..b" has no canonical form'),
        ]
        run = subprocess.run([checker, path] + [address for address, _, _ in explained],
                             capture_output=True, text=True)
        lines = run.stdout.splitlines()
        if len(lines) != len(explained) or any(not line.startswith(verdict) or words not in line
                                               for line, (_, verdict, words) in zip(lines, explained)):
            failures += 1
            print(f"FAILED whole-host explanations: {run.stdout}")
        # The form --hash-password prints is one the controller loads as hashed.
        hashed = subprocess.run([checker, "--hash-password"], input="S3cret!\n", capture_output=True, text=True)
        with open(path, "w") as f:
            f.write('<lockSettings active="Y" password="' + hashed.stdout.strip() + '"/>')
        lint = subprocess.run([checker, "--lint", path], capture_output=True, text=True)
        empty = subprocess.run([checker, "--hash-password"], input="", capture_output=True, text=True).returncode
        if (hashed.returncode != 0 or not hashed.stdout.startswith("$pbkdf2-sha256$") or "S3cret" in hashed.stdout
                or lint.returncode != 0 or "is hashed" not in lint.stdout or empty != 2):
            failures += 1
            print(f"FAILED --hash-password: {hashed.returncode} {hashed.stdout!r}; lint {lint.stdout!r}; empty {empty}")
        # --read-log on a log a user appended to: text before the first record, a NUL and
        # control characters, each record on its own line with its controls escaped.
        with open(path, "w") as f:
            f.write('<lockSettings active="Y"><host name="corp"/></lockSettings>')
        log = os.path.join(folder, "Sentrel.log")
        with open(log, "wb") as f:
            f.write(b"noise\x000, http://corp/\x1b[2J\r\n1, http://other/")
        text = subprocess.run([checker, "--read-log", log, path], capture_output=True).stdout.decode("latin-1")
        statuses = [subprocess.run([checker, "--read-log"] + arguments, capture_output=True).returncode
                    for arguments in ([os.path.join(folder, "missing.log")], [log, os.path.join(folder, "x.xml")],
                                      ["--lint", log], [log, path, path])]
        with open(os.path.join(folder, "bad.xml"), "w") as f:
            f.write("<other/>")
        rejected = subprocess.run([checker, "--read-log", log, os.path.join(folder, "bad.xml")],
                                  capture_output=True).returncode
        if (text.splitlines() != ["?  noise\\x00  (not a record: the log does not begin with one)",
                                  "allowed  http://corp/\\x1b[2J\\x0d\\x0a  (allowed: the entry \"corp\" occurs in the "
                                  "host \"corp\" (allow list))",
                                  "REFUSED  http://other/  (REFUSED: no entry occurs in the host \"other\" (allow list); "
                                  "recorded in recentRefused)"]
                or statuses != [2, 2, 2, 2] or rejected != 1):
            failures += 1
            print(f"FAILED --read-log: {text!r}, statuses {statuses} (expected 2 each), rejected {rejected}")
        usage = subprocess.run([checker], capture_output=True, text=True).returncode
        unreadable = subprocess.run([checker, os.path.join(folder, "missing.xml"), "http://x/"],
                                    capture_output=True, text=True).returncode
        if usage != 2 or unreadable != 2:
            failures += 1
            print(f"FAILED exit statuses: usage {usage}, unreadable {unreadable} (expected 2 and 2)")
        printed = subprocess.run([checker, "--version"], capture_output=True, text=True)
        with_more = subprocess.run([checker, "--version", path], capture_output=True, text=True).returncode
        if printed.returncode != 0 or printed.stdout != f"sentrel-check {version}\n" or with_more != 2:
            failures += 1
            print(f"FAILED --version: {printed.returncode} {printed.stdout!r}; with a document {with_more}")
    print(f"sentrel-check lint: {len(CASES) + 5 - failures} of {len(CASES) + 5} cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
