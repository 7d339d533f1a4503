#!/usr/bin/python3
"""Loads every file of the differential targets' corpora with Pillow and with our tool (which
converts it to PNG through the library's load route for the extension) and lists the files the
two read differently: one refusing what the other reads, another size, or a colour more than
TOLERANCE apart (RGB; alpha only where both have it).

Usage: fuzz/diff_pillow.py QUORVEL_TOOL [CORPUS_ROOT]   (CORPUS_ROOT defaults to fuzz/corpus)
Needs Debian's python3-pil (/usr/bin/python3)."""
import os
import subprocess
import sys
import tempfile

from PIL import Image

TOLERANCE = 1
# Corpus directory, the extension the file is given (the library picks the reader by it).
FORMATS = [("fuzz_diff_tga", "tga"), ("fuzz_diff_pcx", "pcx"), ("fuzz_diff_sgi", "sgi"),
           ("fuzz_diff_sgi", "rgb"), ("fuzz_diff_psd", "psd")]


def pillow(path):
    try:
        with Image.open(path) as image:
            image.load()
            return image.convert("RGBA" if "A" in image.getbands() else "RGB")
    except Exception:  # Pillow refuses damaged files with many exception types
        return None


def ours(tool, path, work):
    out = os.path.join(work, "ours.png")
    if os.path.exists(out):
        os.remove(out)
    result = subprocess.run([tool, "convert", path, out], capture_output=True, timeout=60)
    return pillow(out) if result.returncode == 0 and os.path.exists(out) else None


def first_difference(a, b):
    if a.size != b.size:
        return f"sizes {a.size} and {b.size}"
    both_alpha = a.mode == "RGBA" and b.mode == "RGBA"
    pa, pb = a.convert("RGBA").load(), b.convert("RGBA").load()
    for y in range(a.size[1]):
        for x in range(a.size[0]):
            p, q = pa[x, y], pb[x, y]
            # Where either shows transparency the colours underneath need not agree.
            if not both_alpha and (p[3] < 255 or q[3] < 255):
                continue
            channels = 4 if both_alpha else 3
            if any(abs(p[c] - q[c]) > TOLERANCE for c in range(channels)):
                return f"pixel ({x}, {y}): Pillow {p}, ours {q}"
    return None


def main():
    tool = sys.argv[1]
    root = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "corpus")
    counts = {}
    with tempfile.TemporaryDirectory() as work:
        for corpus, extension in FORMATS:
            folder = os.path.join(root, corpus)
            if not os.path.isdir(folder):
                continue
            tally = counts.setdefault(extension, {"both": 0, "same": 0, "pillow only": 0,
                                                  "ours only": 0, "neither": 0})
            for name in sorted(os.listdir(folder)):
                path = os.path.join(work, "input." + extension)
                with open(os.path.join(folder, name), "rb") as source, open(path, "wb") as copy:
                    copy.write(source.read())
                theirs, mine = pillow(path), ours(tool, path, work)
                if theirs is None and mine is None:
                    tally["neither"] += 1
                elif theirs is None or mine is None:
                    tally["pillow only" if mine is None else "ours only"] += 1
                    print(f"{extension} {name}: read by {'Pillow' if mine is None else 'us'} only")
                else:
                    tally["both"] += 1
                    difference = first_difference(theirs, mine)
                    if difference is None:
                        tally["same"] += 1
                    else:
                        print(f"{extension} {name}: {difference}")
    for extension, tally in counts.items():
        print(extension, ", ".join(f"{k} {v}" for k, v in tally.items()))


if __name__ == "__main__":
    main()
