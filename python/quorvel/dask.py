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
import re

import dask.bag

from . import Error
from . import convert as convert_file

OUTPUT_TYPES = ("wsq", "bmp", "tif", "png", "jpg", "tga", "rgb")
FIELDS = ("source", "target", "status", "message", "input_bytes", "output_bytes", "worker")


_WILDCARDS = re.compile(r"[*?[]")


def _paths(paths_or_glob):
    if isinstance(paths_or_glob, (str, os.PathLike)):
        return sorted(glob.glob(os.fspath(paths_or_glob), recursive=True))
    return [os.fspath(p) for p in paths_or_glob]


def _root(paths_or_glob, paths):
    """The folder whose tree the outputs mirror: a glob's leading folders without wildcards,
    or the folder a list of paths has in common."""
    if isinstance(paths_or_glob, (str, os.PathLike)):
        root = os.path.dirname(os.fspath(paths_or_glob))
        while _WILDCARDS.search(root):
            root = os.path.dirname(root)
        return os.path.abspath(root)
    if not paths:
        return ""
    return os.path.commonpath([os.path.dirname(os.path.abspath(p)) for p in paths])


def target_name(source, out_dir, to, root=None):
    """out_dir/<folders of source below root>/<name of source without its extension>.<to>;
    straight into out_dir when root is None. The extension is what follows the name's last
    '.', as quorvel batch takes it."""
    name = os.path.basename(source)
    stem = name[:name.rfind(".")] if "." in name else name
    folder = "" if root is None else os.path.relpath(os.path.dirname(os.path.abspath(source)), root)
    return os.path.normpath(os.path.join(os.fspath(out_dir), folder, stem + "." + to))


def _clashes(paths, targets):
    """Why each input may not be written, by index: two inputs that map to one output both
    fail (neither overwrites the other), and so does an output that would replace an input."""
    by_target = {}
    for i, target in enumerate(targets):
        by_target.setdefault(os.path.realpath(target), []).append(i)
    inputs = {os.path.realpath(p) for p in paths}
    reasons = {}
    for target, indexes in by_target.items():
        if len(indexes) > 1:
            for i in indexes:
                others = ", ".join(paths[j] for j in indexes if j != i)
                reasons[i] = f"{paths[i]}: {others} map to the same output {targets[i]}"
        elif target in inputs:
            reasons[indexes[0]] = f"{paths[indexes[0]]}: the output {targets[indexes[0]]} would replace an input"
    return reasons


def _worker_name():
    try:
        from distributed import get_worker
        return get_worker().address
    except (ImportError, ValueError):
        return ""


def _record(source, target):
    return {"source": source, "target": target, "status": "converted", "message": "",
            "input_bytes": os.path.getsize(source) if os.path.exists(source) else 0,
            "output_bytes": 0, "worker": _worker_name()}


def _convert_one(job, options):
    source, target = job
    record = _record(source, target)
    try:
        os.makedirs(os.path.dirname(target), exist_ok=True)
        convert_file(source, target, **options)
        record["output_bytes"] = os.path.getsize(target)
    except (Error, OSError) as e:
        record["status"], record["message"] = "failed", str(e)
    return record


def _refused(source, target, reason):
    record = _record(source, target)
    record["status"], record["message"], record["worker"] = "failed", reason, ""
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
    out_dir/<folders>/<name>.<to> on the current Dask scheduler (a distributed Client when one
    is active, else Dask's default), or on `scheduler` if given. <folders> are those below the
    glob's leading folders without wildcards (below the folder a list's files share), so the
    tree is that of `quorvel batch --recursive`.

    options are quorvel.convert's: bitrate, ppi, comment, tiff_compression, tiff_predictor,
    jpeg_quality. Returns one record per file, in input order: source, target, status
    ('converted' or 'failed'), message (why it failed), input_bytes, output_bytes, worker.
    Inputs that would share an output all fail, as does an input whose output would replace
    an input; nothing is overwritten then. With report=PATH the records are also written there
    as CSV. A failed file never stops the others.
    """
    if to not in OUTPUT_TYPES:
        raise ValueError(f"to must be one of {', '.join(OUTPUT_TYPES)}, not {to!r}")
    paths = _paths(paths_or_glob)
    os.makedirs(out_dir, exist_ok=True)
    root = _root(paths_or_glob, paths)
    targets = [target_name(p, out_dir, to, root) for p in paths]
    refused = _clashes(paths, targets)
    jobs = [(p, t) for i, (p, t) in enumerate(zip(paths, targets)) if i not in refused]
    converted = []
    if jobs:
        bag = dask.bag.from_sequence(jobs, npartitions=partitions or min(len(jobs), 256))
        converted = bag.map(_convert_one, dict(options)).compute(scheduler=scheduler)
    done = iter(converted)
    records = [_refused(p, t, refused[i]) if i in refused else next(done)
               for i, (p, t) in enumerate(zip(paths, targets))]
    if report is not None:
        write_report(records, report)
    return records
