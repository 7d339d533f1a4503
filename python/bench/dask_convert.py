"""Throughput of quorvel.dask.convert: PNG prints to WSQ on a LocalCluster, per core.

    PYTHONPATH=build/python /usr/bin/python3 python/bench/dask_convert.py [FILES] [WORKERS]

Makes FILES copies (default 48) of samples/ridges_800x750.pgm as PNG in a temporary folder,
converts them on WORKERS single-threaded worker processes (default: one per core), and
prints files and megapixels per second, in all and per worker.
"""

import os
import sys
import tempfile
import time

import numpy as np
from distributed import Client, LocalCluster

import quorvel
import quorvel.dask


def main():
    files = int(sys.argv[1]) if len(sys.argv) > 1 else 48
    workers = int(sys.argv[2]) if len(sys.argv) > 2 else os.cpu_count()
    here = os.path.dirname(os.path.abspath(__file__))
    raw = open(os.path.join(here, "..", "..", "samples", "ridges_800x750.pgm"), "rb").read()
    pixels = np.frombuffer(raw[-800 * 750:], np.uint8).reshape(750, 800)
    with tempfile.TemporaryDirectory() as tmp, \
            LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster):
        paths = []
        for i in range(files):
            paths.append(os.path.join(tmp, f"print{i}.png"))
            quorvel.save(pixels, paths[-1])
        quorvel.dask.convert(paths[:workers], os.path.join(tmp, "warm"), to="wsq")
        start = time.perf_counter()
        records = quorvel.dask.convert(paths, os.path.join(tmp, "out"), to="wsq")
        seconds = time.perf_counter() - start
    assert all(r["status"] == "converted" for r in records)
    megapixels = files * 0.6
    print(f"{files} files on {workers} workers in {seconds:.2f} s: {files / seconds:.1f} files/s, "
          f"{megapixels / seconds:.1f} MP/s, {megapixels / seconds / workers:.1f} MP/s per worker")


if __name__ == "__main__":
    main()
