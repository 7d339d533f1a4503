#!/usr/bin/env python3
"""Line and branch coverage per folder of src/ and tools/ from two gcovr JSON summaries of one
run, as a Markdown table, then the totals: decisions (the branches of the code's own conditions,
gcovr's --exclude-throw-branches) and every branch gcc counts, the edges it adds for exceptions
that each call may throw included.

coverage_table.py DECISIONS.json ALL.json [--floor FILE] [--record]
  --floor FILE  fail (status 1) when overall decision coverage is more than one point below the
                figure in FILE (a percentage with one decimal)
  --record      write the measured overall decision figure to the --floor FILE instead
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


def table(decisions, everything):
    folders = collections.defaultdict(lambda: [0, 0, 0, 0, 0, 0])
    for f in decisions:
        row = folders[folder_of(f["filename"])]
        row[0] += f["line_covered"]
        row[1] += f["line_total"]
        row[2] += f["branch_covered"]
        row[3] += f["branch_total"]
    for f in everything:
        row = folders[folder_of(f["filename"])]
        row[4] += f["branch_covered"]
        row[5] += f["branch_total"]
    print(f"| {'folder':<16} | lines  | decisions | all branches |")
    print("|---|---|---|---|")
    total = [0] * 6
    for name in sorted(folders):
        r = folders[name]
        total = [t + v for t, v in zip(total, r)]
        print(f"| {name:<16} | {pct(r[0], r[1])} |  {pct(r[2], r[3])}   |    {pct(r[4], r[5])}    |")
    t = total
    print(f"| {'all':<16} | {pct(t[0], t[1])} |  {pct(t[2], t[3])}   |    {pct(t[4], t[5])}    |")
    return 100 * total[2] / total[3] if total[3] else 0.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("decisions")
    parser.add_argument("everything")
    parser.add_argument("--floor")
    parser.add_argument("--record", action="store_true")
    args = parser.parse_args()
    branches = round(
        table(json.load(open(args.decisions))["files"], json.load(open(args.everything))["files"]),
        1)
    if not args.floor:
        return 0
    if args.record:
        with open(args.floor, "w") as out:
            out.write(f"{branches:.1f}\n")
        print(f"recorded: overall decision coverage {branches:.1f}% in {args.floor}")
        return 0
    recorded = float(open(args.floor).read().split()[0])
    if branches < recorded - 1.0:
        print(f"FAILED: overall decision coverage {branches:.1f}% is more than one point below "
              f"the {recorded:.1f}% recorded in {args.floor}", file=sys.stderr)
        return 1
    print(f"overall decision coverage {branches:.1f}% (recorded {recorded:.1f}%, floor "
          f"{recorded - 1.0:.1f}%)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
