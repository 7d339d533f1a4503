#!/usr/bin/env python3
"""Line and branch coverage per folder of src/ and tools/ from a gcovr JSON summary, as a
Markdown table, then the totals.

coverage_table.py SUMMARY.json [--floor FILE] [--record]
  --floor FILE  fail (status 1) when overall branch coverage is more than one point below the
                figure in FILE (a percentage with one decimal)
  --record      write the measured overall branch figure to the --floor FILE instead
"""
import argparse
import collections
import json
import sys


def folder_of(filename):
    parts = filename.split("/")
    return "/".join(parts[:2]) if parts[0] in ("src", "tools") else parts[0]


def pct(covered, total):
    return f"{100 * covered / total:5.1f}%" if total else "    -"


def table(files):
    folders = collections.defaultdict(lambda: [0, 0, 0, 0])
    for f in files:
        row = folders[folder_of(f["filename"])]
        row[0] += f["line_covered"]
        row[1] += f["line_total"]
        row[2] += f["branch_covered"]
        row[3] += f["branch_total"]
    print(f"| {'folder':<16} | lines  | branches |")
    print("|---|---|---|")
    total = [0, 0, 0, 0]
    for name in sorted(folders):
        r = folders[name]
        total = [t + v for t, v in zip(total, r)]
        print(f"| {name:<16} | {pct(r[0], r[1])} | {pct(r[2], r[3])}   |")
    print(f"| {'all':<16} | {pct(total[0], total[1])} | {pct(total[2], total[3])}   |")
    return 100 * total[2] / total[3] if total[3] else 0.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("summary")
    parser.add_argument("--floor")
    parser.add_argument("--record", action="store_true")
    args = parser.parse_args()
    branches = round(table(json.load(open(args.summary))["files"]), 1)
    if not args.floor:
        return 0
    if args.record:
        with open(args.floor, "w") as out:
            out.write(f"{branches:.1f}\n")
        print(f"recorded: overall branch coverage {branches:.1f}% in {args.floor}")
        return 0
    recorded = float(open(args.floor).read().split()[0])
    if branches < recorded - 1.0:
        print(f"FAILED: overall branch coverage {branches:.1f}% is more than one point below "
              f"the {recorded:.1f}% recorded in {args.floor}", file=sys.stderr)
        return 1
    print(f"overall branch coverage {branches:.1f}% (recorded {recorded:.1f}%, floor "
          f"{recorded - 1.0:.1f}%)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
