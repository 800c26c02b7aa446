#!/usr/bin/env python3
"""Compares the URL outcomes of the native and the Windows build (the output
of tests/differential/url_outcomes.cpp from each), per kind of address:
the decision (local, unsplittable or the host, and the answers with an allow
and a block list) must agree for every address; the full split is compared
for the kinds where the two are meant to agree. Prints the figures and the
first differences; exits 1 when a decision differs.

usage: compare_url_outcomes.py <native output> <windows output>"""
import collections
import sys

# Where the split may differ on purpose (the decision still may not): the
# platform decodes and rewrites the path of file: addresses, which the
# portable routines do not copy (it never changes a decision: a file:
# address is always allowed). Wine's splitter also takes any shortening of
# "file" ("fi:x", "f:x") for the file scheme and rewrites its path alike.
SPLIT_NOT_COMPARED = {"local-and-script"}


def split_compared(kind, split):
    scheme = split.split("|", 1)[0].lower()
    return kind not in SPLIT_NOT_COMPARED and not (scheme and "file".startswith(scheme) and "|" in split)


def read(path):
    rows = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            index, kind, decision, split = line.rstrip("\n").split("\t")
            rows[int(index)] = (kind, decision, split)
    return rows


def main(native_path, windows_path):
    native, windows = read(native_path), read(windows_path)
    if native.keys() != windows.keys():
        print("the two outputs list different addresses")
        return 1
    decisions, splits, totals = collections.Counter(), collections.Counter(), collections.Counter()
    shown = []
    for index in sorted(native):
        kind, decision, split = native[index]
        _, other_decision, other_split = windows[index]
        totals[kind] += 1
        if decision == other_decision:
            decisions[kind] += 1
        elif len(shown) < 10:
            shown.append("  #%d %s: native %s | windows %s" % (index, kind, decision, other_decision))
        if split == other_split or not split_compared(kind, split):
            splits[kind] += 1
        elif len(shown) < 10:
            shown.append("  #%d %s split: native %s | windows %s" % (index, kind, split, other_split))
    print("%-18s %8s %10s %8s" % ("kind", "addresses", "decisions", "splits"))
    for kind in sorted(totals):
        print("%-18s %8d %9.1f%% %7.1f%%" % (kind, totals[kind], 100.0 * decisions[kind] / totals[kind],
                                             100.0 * splits[kind] / totals[kind]))
    total = sum(totals.values())
    agreed = sum(decisions.values())
    print("all: %d addresses, decisions agree for %d (%.2f%%), splits for %d (%.2f%%)" %
          (total, agreed, 100.0 * agreed / total, sum(splits.values()), 100.0 * sum(splits.values()) / total))
    if shown:
        print("first differences:")
        print("\n".join(shown))
    return 0 if agreed == total and sum(splits.values()) == total else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
