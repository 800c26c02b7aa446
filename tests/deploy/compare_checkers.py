#!/usr/bin/env python3
"""The policy checker's three-way table: the native checker, the Windows
checker (under Wine) and the real controller's answers must agree on every
document and address of the table.
compare_checkers.py <table> <native sentrel-check> <wine loader> <sentrel-check.exe> <controller answers>"""
import json
import os
import subprocess
import sys
import tempfile


def blocks(path):
    result = []
    for line in open(path, encoding="latin-1").read().splitlines():
        if not line or line.startswith("#"):
            continue
        if line == "== document":
            result.append({"document": None, "addresses": []})
        elif result and result[-1]["document"] is None:
            result[-1]["document"] = line
        elif result:
            result[-1]["addresses"].append(line)
    return result


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def decisions(command):
    output = subprocess.run(command, capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
    answer = json.loads(output.strip().splitlines()[-1])
    if not answer["loads"]:
        return "rejected"
    return [(d["address"], "allowed" if d["allowed"] else "refused") for d in answer["decisions"]]


def main():
    table, native, wine, windows, answers_file = sys.argv[1:6]
    controller = {}
    for line in open(answers_file).read().splitlines():
        fields = line.rstrip("\r").split("\t")
        if len(fields) == 2:
            controller[int(fields[0])] = "rejected"
        elif len(fields) == 3:
            controller.setdefault(int(fields[0]), []).append((fields[1], fields[2]))
    problems = 0
    checked = 0
    with tempfile.TemporaryDirectory() as folder:
        for number, block in enumerate(blocks(table), start=1):
            document = os.path.join(folder, f"document{number}.xml")
            with open(document, "w", encoding="latin-1") as f:
                f.write(block["document"])
            native_answers = decisions([native, "--json", document] + block["addresses"])
            windows_answers = decisions([wine, windows, "--json", windows_path(document)] + block["addresses"])
            controller_answers = controller.get(number)
            for who, answers in (("Windows checker", windows_answers), ("controller", controller_answers)):
                if answers != native_answers:
                    problems += 1
                    print(f"document {number}: the native checker and the {who} disagree")
                    print(f"  native: {native_answers}")
                    print(f"  {who}: {answers}")
            checked += 1 if native_answers == "rejected" else len(block["addresses"])
    print(f"policy checker: {checked} answers compared across the native checker, the Windows checker and the "
          f"controller; {problems} disagreement(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
