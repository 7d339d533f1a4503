"""Conversion of many files on a Dask cluster.

    >>> from dask.distributed import Client
    >>> client = Client("tcp://scheduler:8786")          # or Client(LocalCluster(...))
    >>> report = quorvel.dask.convert("/shared/scans/**/*.png", "/shared/wsq", to="wsq",
    ...                               bitrate=0.75)
    >>> sum(r["status"] == "converted" for r in report)

Each file is one element of a Dask bag; a worker loads it and saves it with quorvel.convert,
so the outputs are byte for byte those of quorvel.convert (and of `quorvel convert`) with the
same options. Workers need the quorvel package and see the same paths (shared storage).
"""

import csv
import glob
import os

import dask.bag

from . import Error
from . import convert as convert_file

OUTPUT_TYPES = ("wsq", "bmp", "tif", "png", "jpg", "tga", "rgb")
FIELDS = ("source", "target", "status", "message", "input_bytes", "output_bytes", "worker")


def _paths(paths_or_glob):
    if isinstance(paths_or_glob, (str, os.PathLike)):
        return sorted(glob.glob(os.fspath(paths_or_glob), recursive=True))
    return [os.fspath(p) for p in paths_or_glob]


def target_name(source, out_dir, to):
    """out_dir/<name of source without its extension>.<to>"""
    stem = os.path.splitext(os.path.basename(source))[0]
    return os.path.join(os.fspath(out_dir), stem + "." + to)


def _worker_name():
    try:
        from distributed import get_worker
        return get_worker().address
    except (ImportError, ValueError):
        return ""


def _convert_one(source, out_dir, to, options):
    target = target_name(source, out_dir, to)
    record = {"source": source, "target": target, "status": "converted", "message": "",
              "input_bytes": os.path.getsize(source) if os.path.exists(source) else 0,
              "output_bytes": 0, "worker": _worker_name()}
    try:
        convert_file(source, target, **options)
        record["output_bytes"] = os.path.getsize(target)
    except (Error, OSError) as e:
        record["status"], record["message"] = "failed", str(e)
    return record


def write_report(records, path):
    """Writes the records as CSV with a header row (the columns of FIELDS)."""
    with open(path, "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=FIELDS)
        writer.writeheader()
        writer.writerows(records)


def convert(paths_or_glob, out_dir, to="wsq", *, partitions=None, report=None, scheduler=None,
            **options):
    """Converts every file (a list of paths, or a glob pattern; '**' descends into folders) to
    out_dir/<name>.<to> on the current Dask scheduler (a distributed Client when one is active,
    else Dask's default), or on `scheduler` if given.

    options are quorvel.convert's: bitrate, ppi, comment, tiff_compression, tiff_predictor,
    jpeg_quality. Returns one record per file, in input order: source, target, status
    ('converted' or 'failed'), message (why it failed), input_bytes, output_bytes, worker.
    With report=PATH the records are also written there as CSV. A failed file never stops the
    others.
    """
    if to not in OUTPUT_TYPES:
        raise ValueError(f"to must be one of {', '.join(OUTPUT_TYPES)}, not {to!r}")
    paths = _paths(paths_or_glob)
    os.makedirs(out_dir, exist_ok=True)
    if not paths:
        records = []
    else:
        bag = dask.bag.from_sequence(paths, npartitions=partitions or min(len(paths), 256))
        records = bag.map(_convert_one, os.fspath(out_dir), to, dict(options)).compute(scheduler=scheduler)
    if report is not None:
        write_report(records, report)
    return records
