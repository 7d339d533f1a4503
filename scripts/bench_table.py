#!/usr/bin/env python3
"""The speed table from one JSON run of build/bench/quorvel_bench, with Pillow timed on the same
files in a subprocess: bench_table.py RUN.json FILES_DIR."""
import json
import os
import subprocess
import sys

# Pillow is Debian's: the interpreter that has it, unless PILLOW_PYTHON names another.
PILLOW_PYTHON = os.environ.get("PILLOW_PYTHON", "/usr/bin/python3")
UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

PILLOW = r"""
import sys, time
from PIL import Image
path = sys.argv[1]
runs, start = 0, time.process_time()
while runs < 3 or time.process_time() - start < 1.0:
    with Image.open(path) as im:
        im.load()
        im.convert("RGB")
    runs += 1
print((time.process_time() - start) / runs)
"""


def machine():
    model, mhz = "unknown CPU", ""
    with open("/proc/cpuinfo") as info:
        for line in info:
            key, _, value = line.partition(":")
            if key.strip() == "model name" and model == "unknown CPU":
                model = value.strip()
            elif key.strip() == "cpu MHz" and not mhz:
                mhz = f" at {float(value) / 1000:.1f} GHz"
    load = ", ".join(f"{x:.2f}" for x in os.getloadavg())
    return f"{model}{mhz}, {os.cpu_count()} cores, load average {load}"


def runs(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "iteration" and not b.get("error_occurred"):
            unit = UNITS[b.get("time_unit", "ns")]
            out[b["name"]] = dict(b, cpu=b["cpu_time"] * unit, real=b["real_time"] * unit)
    return out


def ratio_range(r, ours, ref):
    """time(ref) / time(ours) over every image both ran on, as 'a' or 'a to b'."""
    found = [r[ref + n[len(ours):]]["cpu"] / r[n]["cpu"]
             for n in r if n.startswith(ours + "/") and ref + n[len(ours):] in r]
    if not found:
        return "not run"
    lo, hi = min(found), max(found)
    return f"{lo:.2f}x" if abs(hi - lo) < 0.005 else f"{lo:.2f}x to {hi:.2f}x"


def threads(r, what, size):
    one = r.get(f"wsq_{what}_threads/{size}/1/real_time")
    two = r.get(f"wsq_{what}_threads/{size}/2/real_time")
    return f"{one['real'] / two['real']:.2f}x" if one and two else "not run"


def mbps(r, name):
    b = r.get(name)
    return f"{b['bytes_per_second'] / 1e6:,.0f} MB/s" if b else "not run"


def pillow(r, files, name, file):
    b = r.get(name)
    if not b:
        return "not run"
    done = subprocess.run([PILLOW_PYTHON, "-c", PILLOW, os.path.join(files, file)],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return "Pillow failed"
    return f"{float(done.stdout) / b['cpu']:.2f}x"


def batch(r):
    one, two = r.get("BM_BatchToWsq/1/real_time"), r.get("BM_BatchToWsq/2/real_time")
    if not one or not two:
        return "not run"
    return f"{two['files_per_second'] / one['files_per_second']:.2f}x"


def peak(r, what):
    for name, b in r.items():
        if name.startswith(f"peak_memory_{what}/"):
            return f"{b['bytes_per_pixel']:.1f} B/pixel ({b['peak_MiB']:.0f} MiB)"
    return "not run"


def main():
    r, files = runs(sys.argv[1]), sys.argv[2]
    rows = [
        ("WSQ decode vs libjpeg-turbo decode (gray, q75), 0.75 bpp, one core",
         ratio_range(r, "wsq_decode_0.75", "jpeg_decode"), ">= 1.0x"),
        ("WSQ encode vs libjpeg-turbo encode, 0.75 bpp",
         ratio_range(r, "wsq_encode_0.75", "jpeg_encode"), ">= 0.5x"),
        ("WSQ decode vs libjpeg-turbo at 2.25 bpp",
         ratio_range(r, "wsq_decode_2.25", "jpeg_decode"), ">= 0.7x"),
    ]
    for size in ("1600x1500", "3200x3000"):
        for what in ("decode", "encode"):
            rows.append((f"{size} {what}, 2 threads vs 1 (C++ API)", threads(r, what, size), ">= 1.7x"))
    rows += [
        ("CreateBMPFromFile, 6 MP 24-bit BMP", mbps(r, "BM_LoadBmp24"), ">= 1,000 MB/s"),
        ("CreateBMPFromFile, 6 MP Targa", mbps(r, "BM_LoadTga"), ">= 1,000 MB/s"),
        ("CreateBMPFromFile, 6 MP Targa (RLE)", mbps(r, "BM_LoadTgaRle"), ">= 1,000 MB/s"),
        ("PNG load vs Pillow open+load+convert(RGB)", pillow(r, files, "BM_LoadPng", "photo.png"), ">= 1.0x"),
        ("TIFF (Deflate) load vs Pillow", pillow(r, files, "BM_LoadTiffDeflate", "photo.tif"), ">= 1.0x"),
        ("JPEG load vs Pillow", pillow(r, files, "BM_LoadJpeg", "photo.jpg"), ">= 1.0x"),
        ("quorvel batch --jobs 2 vs --jobs 1, 200 PNG prints to WSQ", batch(r), ">= 1.8x"),
        ("peak memory growth, 3200x3000 encode", peak(r, "encode"), "<= 10 B/pixel"),
        ("peak memory growth, 3200x3000 decode", peak(r, "decode"), "<= 10 B/pixel"),
    ]
    print(f"Machine: {machine()}\n")
    print("| what | figure | target |\n|---|---|---|")
    for what, figure, target in rows:
        print(f"| {what} | {figure} | {target} |")


if __name__ == "__main__":
    main()
