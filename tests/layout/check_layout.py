#!/usr/bin/env python3
"""Checks that no product folder reaches into a folder above it.

The folders stand in layers: support at the bottom, then settings, then
policy, then controller and agent side by side (neither reaches the other).
resources holds the resource identifiers and the interface every layer may
name. Two things are checked: each source's includes, and each folder's
CMake libraries against the libraries the other folders define. Prints each
upward reach and exits 1 when there is one.
"""
import pathlib
import re
import sys

LAYERS = {"resources": 0, "support": 0, "settings": 1, "policy": 2, "controller": 3, "agent": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.MULTILINE)
LIBRARY = re.compile(r"add_library\(\s*(\w+)")
LINKS = re.compile(r"target_link_libraries\(\s*(\w+)([^)]*)\)")


def reaches_up(folder, target):
    return target != folder and target != "resources" and LAYERS[target] >= LAYERS[folder]


def upward_includes(root):
    for folder in LAYERS:
        for source in sorted((root / folder).glob("*")):
            if source.suffix not in (".h", ".cpp", ".inc", ".rc"):
                continue
            for target in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
                if target in LAYERS and reaches_up(folder, target):
                    yield f"{source.relative_to(root)} includes {target}/"


def upward_links(root):
    scripts = {folder: (root / folder / "CMakeLists.txt").read_text() for folder in LAYERS}
    owner = {library: folder for folder, text in scripts.items() for library in LIBRARY.findall(text)}
    for folder, text in scripts.items():
        for library, linked in LINKS.findall(text):
            for name in linked.split():
                if name in owner and reaches_up(folder, owner[name]):
                    yield f"{folder}/CMakeLists.txt: {library} links {name} of {owner[name]}/"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(upward_includes(root)) + list(upward_links(root))
    for line in found:
        print(line)
    print(f"{len(found)} upward includes or links among {', '.join(LAYERS)}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
