#!/usr/bin/env python3
"""Builds the package with wixl and completes what wixl leaves out.
complete_package.py <wixl> <wixl arguments...>
(the arguments as for wixl itself, with -o PACKAGE and the source last)

wixl 0.101 reads two things of Sentrel.wxs that it does not carry into
the package:
- UpgradeVersion/@IncludeMaximum: the Upgrade table's row gets no
  msidbUpgradeAttributesVersionMaxInclusive (512), so the row that finds
  older versions would miss the same version under another product code
  (an earlier release's, or a build that differs only in the fourth
  number), which would then stay installed beside this one;
- the version of each file: the File table's Version column stays empty,
  so Windows Installer takes every program as unversioned, and an
  unversioned file never replaces a versioned one already on disk.
Both are set here with msibuild (msitools): the first from the source as
wixl's preprocessor gives it (wixl -E), the second from the version block
(VS_FIXEDFILEINFO) of each file the source names.
"""
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

WIX = "{http://schemas.microsoft.com/wix/2006/wi}"
VERSION_MAX_INCLUSIVE = 512
FIXED_FILE_INFO = struct.pack("<II", 0xFEEF04BD, 0x00010000)  # signature, structure version


def export(package, table):
    """The table's IDT text: three header lines, then one row a line."""
    return subprocess.run(["msiinfo", "export", package, table], check=True, capture_output=True,
                          text=True).stdout.splitlines()


def import_rows(package, table, lines, folder):
    path = os.path.join(folder, table + ".idt")
    with open(path, "w", newline="\r\n") as idt:
        idt.write("\n".join(lines) + "\n")
    subprocess.run(["msibuild", package, "-i", path], check=True)


def file_version(path):
    """A program's or library's version as "a.b.c.d"; None when it has no
    version block."""
    with open(path, "rb") as program:
        data = program.read()
    at = data.find(FIXED_FILE_INFO)
    if at < 0:
        return None
    most, least = struct.unpack_from("<II", data, at + 8)
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def complete_upgrades(package, source, folder):
    inclusive = {version.get("Property") for version in source.iter(WIX + "UpgradeVersion")
                 if version.get("IncludeMaximum") == "yes"}
    lines = export(package, "Upgrade")
    done = set()
    for index, line in enumerate(lines[3:], start=3):
        row = line.split("\t")  # UpgradeCode VersionMin VersionMax Language Attributes Remove ActionProperty
        if row[6] in inclusive:
            row[4] = str(int(row[4]) | VERSION_MAX_INCLUSIVE)
            lines[index] = "\t".join(row)
            done.add(row[6])
    if done != inclusive:
        sys.exit(f"complete_package: no Upgrade row for {sorted(inclusive - done)}")
    import_rows(package, "Upgrade", lines, folder)


def complete_file_versions(package, source, folder):
    sources = {file.get("Id"): file.get("Source") for file in source.iter(WIX + "File")}
    lines = export(package, "File")
    for index, line in enumerate(lines[3:], start=3):
        row = line.split("\t")  # File Component_ FileName FileSize Version Language Attributes Sequence
        version = file_version(sources[row[0]])
        if version:
            row[4] = version
            lines[index] = "\t".join(row)
    import_rows(package, "File", lines, folder)


def main():
    wixl, arguments = sys.argv[1], sys.argv[2:]
    subprocess.run([wixl] + arguments, check=True)
    package = arguments[arguments.index("-o") + 1]
    # The same source through the preprocessor alone: what wixl compiled.
    without_output = [a for i, a in enumerate(arguments)
                      if a != "-o" and (i == 0 or arguments[i - 1] != "-o")]
    preprocessed = subprocess.run([wixl, "-E"] + without_output, check=True, capture_output=True, text=True).stdout
    source = ElementTree.fromstring(preprocessed.encode("utf-8"))
    with tempfile.TemporaryDirectory() as folder:
        complete_upgrades(package, source, folder)
        complete_file_versions(package, source, folder)


if __name__ == "__main__":
    main()
