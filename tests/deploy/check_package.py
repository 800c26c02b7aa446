#!/usr/bin/env python3
"""Checks the installer package's tables without installing it (msiinfo
export) and that the Group Policy files are well-formed XML (xmllint).
check_package.py <Sentrel.msi> <admx> <adml> <x86|x64>"""
import subprocess
import sys

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def table(package, name):
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True, text=True).stdout
    rows = [line.split("\t") for line in text.splitlines()[3:] if line]
    return rows


def main():
    package, admx, adml, architecture = sys.argv[1:5]
    win64 = architecture == "x64"
    properties = {row[0]: row[1] for row in table(package, "Property")}
    check(properties.get("ProductCode") == "{27E397F5-3A9D-4C6F-AB69-670E032DBED9}", "ProductCode")
    check(properties.get("ALLUSERS") == "1", "per-machine (ALLUSERS=1)")

    files = {row[2].split("|")[-1] for row in table(package, "File")}
    check(files == {"SentrelAgentController.exe", "SentrelAgent.dll"}, f"files: {files}")
    directories = {row[0]: row for row in table(package, "Directory")}
    check(directories.get("INSTALLDIR", ["", "", ""])[2].endswith("Sentrel"), "INSTALLDIR is ...\\Sentrel")

    registry = {(row[2], row[3]): (row[1], row[4]) for row in table(package, "Registry")}
    check(registry.get(("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Sentrel")) == ("2", '"[#ControllerExe]"'),
          "the logon entry")
    check(registry.get(("SOFTWARE\\Corvantis\\Sentrel", "Settings")) == ("2", "[SETTINGSSOURCE]"), "Settings")
    check(registry.get(("SOFTWARE\\Corvantis\\Sentrel", "ProtectNotes")) == ("2", "#1"), "ProtectNotes")

    # A 64-bit package writes the 64-bit registry view (component attribute
    # 256) and runs the 64-bit system programs; a 32-bit one neither.
    for row in table(package, "Component"):
        check(bool(int(row[3]) & 256) == win64, f"component {row[0]}: 64-bit attribute {win64}")
    system = "[System64Folder]" if win64 else "[SystemFolder]"

    actions = {row[0]: row for row in table(package, "CustomAction")}
    for name, program in [("FindRegsvr32", "regsvr32.exe"), ("FindTaskkill", "taskkill.exe")]:
        check(actions.get(name, ["", "", "", ""])[3] == system + program, f"{name}: {system}{program}")
    deferred_system = 0x400 | 0x800  # deferred, no impersonation
    for name, target in [("RegisterController", "/RegServer"), ("UnregisterController", "/UnregServer"),
                         ("RegisterAgent", '/s "[#AgentDll]"'), ("UnregisterAgent", '/s /u "[#AgentDll]"'),
                         ("StopController", "/f /im SentrelAgentController.exe")]:
        row = actions.get(name)
        check(row is not None and int(row[1]) & deferred_system == deferred_system and row[3] == target,
              f"{name}: deferred, as the system, {target}")

    sequence = {row[0]: (int(row[2]), row[1]) for row in table(package, "InstallExecuteSequence")}
    order = ["InstallInitialize", "StopController", "UnregisterAgent", "UnregisterController", "RemoveFiles",
             "InstallFiles", "RegisterController", "RegisterAgent", "InstallFinalize", "StartController"]
    numbers = [sequence.get(name, (-1, ""))[0] for name in order]
    check(all(number >= 0 for number in numbers) and numbers == sorted(numbers), f"sequence order: {numbers}")
    check(sequence.get("StopController", (0, ""))[1] == 'REMOVE="ALL"', "the controller is stopped only at removal")
    check("UILevel" in sequence.get("StartController", (0, ""))[1], "started only by an interactive install")

    for document in (admx, adml):
        result = subprocess.run(["xmllint", "--noout", document], capture_output=True, text=True)
        check(result.returncode == 0, f"{document} is not well-formed: {result.stderr.strip()}")

    for failure in failures:
        print("FAILED:", failure)
    print(f"package and policy files: {len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
