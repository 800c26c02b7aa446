#!/usr/bin/env python3
"""The agent's log read back by both policy checkers: the real agent in the
test browser host writes C:\\Sentrel.log in the run's Wine prefix (which the
controller's /RegServer made), and the native and the Windows sentrel-check
--read-log must give exactly the records of the table, with the document's
decision for each, and agree with each other in both output forms.
log_reading_test.py <table> <native sentrel-check> <wine loader> <Windows build folder>
The Wine session (WINEPREFIX, display) is the caller's."""
import json
import os
import subprocess
import sys
import tempfile


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(command):
    """Runs a program; its output goes through files, not pipes, since a
    program that COM starts meanwhile (the controller) would keep a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, code, out.read().decode("latin-1"), err.read().decode("latin-1"))


def main():
    table, native, wine, build = sys.argv[1:5]
    lines = [line for line in open(table, encoding="latin-1").read().splitlines()
             if line and not line.startswith("#")]
    document, rows = lines[0], [line.split("\t") for line in lines[1:]]
    log = os.path.join(os.environ["WINEPREFIX"], "drive_c", "Sentrel.log")
    controller = os.path.join(build, "controller", "SentrelAgentController.exe")
    agent = os.path.join(build, "agent", "SentrelAgent.dll")
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        document_file = os.path.join(folder, "document.xml")
        with open(document_file, "w", encoding="latin-1") as f:
            f.write(document)
        session = os.path.join(folder, "session.txt")
        with open(session, "w", encoding="latin-1") as f:
            f.write(f"settings {document}\nopen IEFrame\n")
            f.writelines(f"navigate {address}\n" for address, _, _ in rows)
            f.write("quit\n")

        if os.path.exists(log):
            os.remove(log)
        for step in ([wine, "regsvr32", "/s", windows_path(agent)], [wine, controller, "/RegServer"],
                     [wine, os.path.join(build, "tools", "browser_host", "test_browser_host.exe"),
                      windows_path(session)]):
            result = run(step)
            if result.returncode != 0:
                problems.append(f"{' '.join(step)} exited with {result.returncode}: {result.stdout}{result.stderr}")

        checkers = {
            "native": [native, "--read-log"], "Windows": [wine, os.path.join(build, "tools", "sentrel-check.exe"),
                                                          "--read-log"]}
        paths = {"native": (log, document_file), "Windows": ("C:\\Sentrel.log", windows_path(document_file))}
        answers, texts = {}, {}
        for who, command in checkers.items():
            read = run(command + ["--json", *paths[who]])
            if read.returncode != 0:
                problems.append(f"the {who} checker exited with {read.returncode}: {read.stderr}")
                continue
            records = json.loads(read.stdout.strip().splitlines()[-1])["records"]
            answers[who] = [(r["offset"], r["answer"], r["address"], r["decision"]["allowed"],
                             r["decision"]["reason"]) for r in records]
            texts[who] = run(command + list(paths[who])).stdout.splitlines()
            got = [(answer, address, reason) for _, answer, address, _, reason in answers[who]]
            want = [(int(answer), address, reason) for address, answer, reason in rows]
            if got != want:
                problems.append(f"the {who} checker read other records:\n  want {want}\n  got  {got}")
            for _, answer, address, allowed, _ in answers[who]:
                if allowed != (answer == 0):
                    problems.append(f"the {who} checker decides otherwise than the controller answered: {address}")
            if len(texts[who]) != len(rows):
                problems.append(f"the {who} checker printed {len(texts[who])} lines for {len(rows)} records")
        if len(answers) == 2 and answers["native"] != answers["Windows"]:
            problems.append(f"the checkers disagree:\n  native  {answers['native']}\n  Windows {answers['Windows']}")
        if len(texts) == 2 and texts["native"] != texts["Windows"]:
            problems.append("the checkers' lines differ:\n  " + "\n  ".join(
                f"{a}\n  {b}" for a, b in zip(texts["native"], texts["Windows"]) if a != b))

        run([wine, controller, "/UnregServer"])
        run([wine, "regsvr32", "/u", "/s", windows_path(agent)])
    for problem in problems:
        print(problem)
    print(f"the agent's log: {len(rows)} records read back by the native and the Windows checker; "
          f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
