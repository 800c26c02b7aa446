#!/usr/bin/env python3
"""Checks the installer package's tables without installing it (msiinfo
export), that the Group Policy files are well-formed XML (xmllint) and that
the template writes only under the policies key.
check_package.py <Sentrel.msi> <admx> <adml> <x86|x64> <version> <product code> <upgrade code>
                 <earlier releases' upgrade code> <earlier releases' product code>"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def table(package, name):
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True, text=True).stdout
    rows = [line.split("\t") for line in text.splitlines()[3:] if line]
    return rows


# Each policy of the template: its class, the value it writes and how. All
# of them write under the policies key, which Group Policy empties when a
# policy goes; a value written anywhere else would stay behind (tattoo).
POLICY_KEY = "SOFTWARE\\Policies\\Corvantis\\Sentrel"
TEMPLATE_POLICIES = {
    "SettingsSource_Machine": ("Machine", "Settings", "text"),
    "SettingsSource_User": ("User", "Settings", "text"),
    "ProtectNotes_Machine": ("Machine", "ProtectNotes", "switch"),
    "ProtectNotes_User": ("User", "ProtectNotes", "switch"),
    "MachineSettingsOnly": ("Machine", "MachineSettingsOnly", "switch"),
    "FailClosed": ("Machine", "FailClosed", "switch"),
    "LogMaxKB": ("Machine", "LogMaxKB", "number"),
}


def check_template(admx):
    namespace = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
    root = ElementTree.parse(admx).getroot()
    found = {}
    for policy in root.iter(namespace + "policy"):
        name = policy.get("name")
        # The policy's key, and any key an element or a value list names.
        keys = {element.get("key") for element in policy.iter() if element.get("key") is not None}
        check(keys == {POLICY_KEY}, f"{name} writes under {sorted(keys)}, not only {POLICY_KEY}")
        texts = [element.get("valueName") for element in policy.iter(namespace + "text")]
        numbers = [element.get("valueName") for element in policy.iter(namespace + "decimal")
                   if element.get("valueName") is not None]
        if numbers:
            found[name] = (policy.get("class"), numbers[0], "number")
        elif texts:
            found[name] = (policy.get("class"), texts[0] if len(texts) == 1 else texts, "text")
        else:
            on = [value.get("value") for value in policy.findall(f"{namespace}enabledValue/{namespace}decimal")]
            off = [value.get("value") for value in policy.findall(f"{namespace}disabledValue/{namespace}decimal")]
            check(on == ["1"] and off == ["0"], f"{name}: enabled writes 1 and disabled 0")
            found[name] = (policy.get("class"), policy.get("valueName"), "switch")
    check(found == TEMPLATE_POLICIES, f"the template's policies: {sorted(set(found.items()) ^ set(TEMPLATE_POLICIES.items()))}")


def main():
    package, admx, adml, architecture, version, product, upgrade, earlier_upgrade, earlier_product = sys.argv[1:10]
    win64 = architecture == "x64"
    properties = {row[0]: row[1] for row in table(package, "Property")}
    check(properties.get("ProductCode") == product, f"ProductCode {properties.get('ProductCode')}, not {product}")
    check(properties.get("ProductVersion") == version, f"ProductVersion {properties.get('ProductVersion')}")
    check(properties.get("UpgradeCode") == upgrade, f"UpgradeCode {properties.get('UpgradeCode')}")
    check(properties.get("ALLUSERS") == "1", "per-machine (ALLUSERS=1)")

    # Upgrades: older versions and this version under another product code
    # replaced (512: the maximum included), newer ones only found (2); the
    # 64-bit package also replaces the earlier releases' 64-bit package,
    # which had the 32-bit package's code.
    upgrades = {tuple(row[:3] + [row[4], row[6]]) for row in table(package, "Upgrade")}
    expected = {(upgrade, "0.0.0", version, "768", "OLDERSENTRELFOUND"),
                (upgrade, version, "", "2", "NEWERSENTRELFOUND")}
    if win64:
        expected.add((earlier_upgrade, "0.0.0", "", "256", "EARLIERSENTRELFOUND"))
    check(upgrades == expected, f"Upgrade table: {sorted(upgrades ^ expected)}")
    secure = set(properties.get("SecureCustomProperties", "").split(";"))
    check({row[4] for row in expected} <= secure, f"SecureCustomProperties: {sorted(secure)}")
    launch = [row[0] for row in table(package, "LaunchCondition")]
    check("Installed OR NOT NEWERSENTRELFOUND" in launch, "a newer version stops the install")

    # A 64-bit package also carries the 32-bit agent and type library, in a
    # folder of their own, for 32-bit tabs.
    files = {(row[1], row[2].split("|")[-1]) for row in table(package, "File")}
    expected = {("Controller", "SentrelAgentController.exe"), ("Agent", "SentrelAgent.dll"),
                ("Checker", "sentrel-check.exe")}
    if win64:
        expected |= {("Agent32", "SentrelAgent.dll"), ("Agent32", "SentrelAgentController.tlb")}
    check(files == expected, f"files: {files}")
    # The programs' versions, as their version blocks give them, so that
    # Windows Installer replaces them as versioned files.
    versions = {row[0]: row[4] for row in table(package, "File")}
    for key in ("ControllerExe", "AgentDll", "CheckerExe"):
        check(versions.get(key) == version, f"{key} has the version {versions.get(key)!r}")
    if win64:
        check(re.fullmatch(r"\d+\.\d+\.\d+\.\d+", versions.get("AgentDll32", "")),
              f"the 32-bit agent has the version {versions.get('AgentDll32')!r}")
        check(versions.get("TypeLib32") == "", "the type library is no versioned file")
    directories = {row[0]: row for row in table(package, "Directory")}
    check(directories.get("INSTALLDIR", ["", "", ""])[2].endswith("Sentrel"), "INSTALLDIR is ...\\Sentrel")
    check((directories.get("X86DIR", ["", "", ""])[1:] == ["INSTALLDIR", "x86"]) == win64, "x86 folder in INSTALLDIR")
    features = {(row[0], row[1]) for row in table(package, "FeatureComponents")}
    check(("Sentrel", "Agent32") in features if win64 else True, "the 32-bit agent is installed with Sentrel")

    registry = {(row[2], row[3]): (row[1], row[4]) for row in table(package, "Registry")}
    check(registry.get(("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Sentrel")) == ("2", '"[#ControllerExe]"'),
          "the logon entry")
    check(registry.get(("SOFTWARE\\Corvantis\\Sentrel", "Settings")) == ("2", "[SETTINGSSOURCE]"), "Settings")
    check(registry.get(("SOFTWARE\\Corvantis\\Sentrel", "ProtectNotes")) == ("2", "#1"), "ProtectNotes")
    for switch in ("MachineSettingsOnly", "FailClosed"):
        check(registry.get(("SOFTWARE\\Policies\\Corvantis\\Sentrel", switch)) == ("2", "#1"), switch)
        check(("%sFeature" % switch, switch) in features, f"{switch} has a feature of its own")

    # What an install was given, remembered by the component the property
    # chose and read back (raw, in the package's view) for an upgrade or a
    # repair that is not given it; replacing an earlier release takes what
    # that release wrote.
    remembered_key = "SOFTWARE\\Corvantis\\Sentrel\\Package"
    rows = {(row[2], row[3]): (row[1], row[4], row[5]) for row in table(package, "Registry")}
    locators = {(row[2], row[3]): (row[0], row[1], row[4]) for row in table(package, "RegLocator")}
    found_by = {row[1]: row[0] for row in table(package, "AppSearch")}
    sequence = {row[0]: (int(row[2]), row[1]) for row in table(package, "InstallExecuteSequence")}
    view = 2 | (16 if win64 else 0)  # raw, and the 64-bit view for a 64-bit package
    remembered = {  # property: (component, remembered data, the earlier release's value)
        "SETTINGSSOURCE": ("SettingsSource", "[SETTINGSSOURCE]", ("SOFTWARE\\Corvantis\\Sentrel", "Settings")),
        "PROTECTNOTES": ("NotesProtection", "1", ("SOFTWARE\\Corvantis\\Sentrel", "ProtectNotes")),
        "MACHINESETTINGSONLY": ("MachineSettingsOnly", "1",
                                ("SOFTWARE\\Policies\\Corvantis\\Sentrel", "MachineSettingsOnly")),
        "FAILCLOSED": ("FailClosed", "1", ("SOFTWARE\\Policies\\Corvantis\\Sentrel", "FailClosed")),
        "BROWSERPOLICIES": ("BrowserPoliciesChosen", "1", None),
    }
    for prop, (component, data, earlier) in remembered.items():
        check(rows.get((remembered_key, prop)) == ("2", data, component), f"{prop} remembered by {component}")
        signature, root, kind = locators.get((remembered_key, prop), ("", "", "0"))
        check(root == "2" and int(kind) == view, f"{prop}: the remembered value looked up")
        remembered_property = found_by.get(signature, "?")
        taken = [condition for _, condition in sequence.values()
                 if condition == f"NOT {prop} AND {remembered_property}"]
        check(taken, f"{prop}: taken from {remembered_property} when not given")
        if earlier:
            signature, root, kind = locators.get(earlier, ("", "", "0"))
            check(root == "2" and int(kind) == view, f"{prop}: the earlier release's value looked up")
            earlier_property = found_by.get(signature, "?")
            check(any(condition.startswith(f"NOT {prop} AND EARLIERRELEASE AND {earlier_property}")
                      for _, condition in sequence.values()), f"{prop}: taken from an earlier release's value")
    earlier_entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + earlier_product
    signature, root, kind = locators.get((earlier_entry, "DisplayVersion"), ("", "", "0"))
    check(found_by.get(signature) == "EARLIERRELEASE" and root == "2" and int(kind) == view,
          "an earlier release found by its uninstall entry")

    # BROWSERPOLICIES=1: the browser's own policies, each value in a component
    # and feature of its own, looked up first (AppSearch, raw, in the
    # package's registry view): chosen only when absent, and a launch
    # condition refuses the install when it is held with other data.
    ie = "SOFTWARE\\Policies\\Microsoft\\Internet Explorer"
    ext = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext"
    browser = {
        "InPrivateOff": (ie + "\\Privacy", "EnableInPrivateBrowsing", "#0"),
        "InPrivateAddOns": (ie + "\\Safety\\PrivacIE", "DisableToolbars", "#0"),
        "AddOnList": (ext, "ListBox_Support_CLSID", "#1"),
        "AgentListed": (ext + "\\CLSID", "{B0000299-50CF-11D1-A140-0000F802C250}", "1"),
        "AddOnManagementOff": (ie + "\\Restrictions", "NoExtensionManagement", "#1"),
        "ExtensionsOn": (ie + "\\Main", "Enable Browser Extensions", "yes"),
    }
    choices = {row[0]: row[1] for row in table(package, "InstallExecuteSequence")}
    for component, (key, name, value) in browser.items():
        check(rows.get((key, name)) == ("2", value, component), f"{component}: HKLM\\{key} {name} = {value}")
        check((component + "Feature", component) in features, f"{component} has a feature of its own")
        signature, root, kind = locators.get((key, name), ("", "", "0"))
        check(root == "2" and int(kind) == 2 | (16 if win64 else 0),
              f"{component}: looked up raw in the package's view")
        prior = found_by.get(signature, "?")
        expected = f'NOT {prior} OR {prior} = "{value}"'
        check(any(expected in condition and 'BROWSERPOLICIES <> "1"' in condition for condition in launch),
              f"{component}: a launch condition refuses other data ({expected})")
        # A value the product being replaced wrote (marked, or an earlier
        # release's) is taken over again.
        signature, root, kind = locators.get((remembered_key, component), ("", "", "0"))
        owned = found_by.get(signature, "?")
        check(rows.get((remembered_key, component)) == ("2", "1", component) and root == "2" and int(kind) == view,
              f"{component}: the package marks the value as its own")
        choice = choices.get("Choose" + component, "")
        check(f"(NOT {prior} OR {owned} OR EARLIERRELEASE) AND" in choice and 'BROWSERPOLICIES = "1"' in choice,
              f"{component}: chosen only when absent or the replaced product's: {choice}")

    # The 32-bit agent's own entries, in the 32-bit view: its class in the
    # app-container category, its helper-object entry, and the interface and
    # type library the marshaller needs (root 0 is HKCR, 2 is HKLM; "*" makes
    # a key and removes its tree at uninstall).
    agent = "CLSID\\{B0000299-50CF-11D1-A140-0000F802C250}"
    interface = "Interface\\{19A39A03-20AC-4E25-8570-0E1F9C6563A8}"
    library = "TypeLib\\{AAC2174E-DAB4-475C-9E63-19AF9497F122}\\1.0"
    agent32 = {(row[2], row[3]): (row[1], row[4]) for row in table(package, "Registry") if row[5] == "Agent32"}
    expected32 = {
        (agent, "*"): ("0", ""), (agent, ""): ("0", "Sentrel"),
        (agent + "\\InprocServer32", ""): ("0", "[#AgentDll32]"),
        (agent + "\\InprocServer32", "ThreadingModel"): ("0", "Apartment"),
        (agent + "\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}", "*"): ("0", ""),
        ("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
         "{B0000299-50CF-11D1-A140-0000F802C250}", "*"): ("2", ""),
        (interface, "*"): ("0", ""), (interface, ""): ("0", "ISentrelController"),
        (interface + "\\ProxyStubClsid32", ""): ("0", "{00020424-0000-0000-C000-000000000046}"),
        (interface + "\\TypeLib", ""): ("0", "{AAC2174E-DAB4-475C-9E63-19AF9497F122}"),
        (interface + "\\TypeLib", "Version"): ("0", "1.0"),
        (library, ""): ("0", "SentrelAgentController Type Library"),
        (library + "\\0\\win32", ""): ("0", "[#TypeLib32]"),
        (library + "\\FLAGS", ""): ("0", "0"), (library + "\\HELPDIR", ""): ("0", "[X86DIR]"),
    } if win64 else {}
    check(agent32 == expected32, f"the 32-bit agent's registry entries: {sorted(set(agent32.items()) ^ set(expected32.items()))}")

    # A 64-bit package writes the 64-bit registry view (component attribute
    # 256) and runs the 64-bit system programs; a 32-bit one neither. The
    # 32-bit agent's component writes the 32-bit view in either.
    for row in table(package, "Component"):
        bits64 = win64 and row[0] != "Agent32"
        check(bool(int(row[3]) & 256) == bits64, f"component {row[0]}: 64-bit attribute {bits64}")
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

    order = ["FindRelatedProducts", "AppSearch", "LaunchConditions", "CostFinalize", "InstallInitialize",
             "RemoveExistingProducts", "StopController", "UnregisterAgent", "UnregisterController", "RemoveFiles",
             "InstallFiles", "RegisterController", "RegisterAgent", "InstallFinalize", "StartController"]
    numbers = [sequence.get(name, (-1, ""))[0] for name in order]
    check(all(number >= 0 for number in numbers) and numbers == sorted(numbers), f"sequence order: {numbers}")
    # The older product goes right after InstallInitialize, in the same
    # transaction as the install that replaces it.
    check(sequence.get("RemoveExistingProducts", (0, ""))[0] == sequence.get("InstallInitialize", (0, ""))[0] + 1,
          "RemoveExistingProducts right after InstallInitialize")
    check(sequence.get("StopController", (0, ""))[1] == 'REMOVE="ALL" OR REINSTALL',
          "the controller is stopped at removal and repair")
    start = sequence.get("StartController", (0, ""))[1]
    check("UILevel" in start and "OLDERSENTRELFOUND" in start and 'UserSID <> "S-1-5-18"' in start,
          f"started by an interactive install, or after an upgrade or repair outside the system account: {start}")
    repair = actions.get("RepairWhenInstalledAgain", ["", "", "", ""])
    check(repair[2:4] == ["REINSTALL", "ALL"] and
          sequence.get("RepairWhenInstalledAgain", (0, ""))[1].startswith("Installed AND NOT REMOVE"),
          "installing the installed version again repairs it")

    for document in (admx, adml):
        result = subprocess.run(["xmllint", "--noout", document], capture_output=True, text=True)
        check(result.returncode == 0, f"{document} is not well-formed: {result.stderr.strip()}")
    check_template(admx)

    for failure in failures:
        print("FAILED:", failure)
    print(f"package and policy files: {len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
