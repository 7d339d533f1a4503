"""quorvel.dask.convert on a LocalCluster of two worker processes: every file converted as
quorvel.convert converts it, failures recorded without stopping the run, the CSV report."""

import csv
import os
import subprocess

import pytest

import quorvel
import quorvel.dask
from test_quorvel import ridges

distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=40)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def test_a_folder_converts_on_two_workers_as_single_calls_do(tmp_path, client):
    src = tmp_path / "in"
    (src / "sub").mkdir(parents=True)
    names = [src / f"p{i}.png" for i in range(5)] + [src / "sub" / "deep.bmp"]
    for i, name in enumerate(names):
        quorvel.save(ridges(90 + 7 * i, 100, seed=i), name)
    (src / "broken.png").write_bytes(b"not a png")

    records = quorvel.dask.convert(str(src / "**" / "*.*"), tmp_path / "out", to="wsq", bitrate=1.5,
                                   comment="batch", report=tmp_path / "report.csv")
    by_name = {r["source"]: r for r in records}
    assert len(records) == 7
    assert by_name[str(src / "broken.png")]["status"] == "failed"
    assert "broken.png" in by_name[str(src / "broken.png")]["message"]
    assert all(r["worker"] for r in records)
    for name in names:
        record = by_name[str(name)]
        assert record["status"] == "converted", record["message"]
        quorvel.convert(name, tmp_path / "ref.wsq", bitrate=1.5, comment="batch")
        with open(record["target"], "rb") as out, open(tmp_path / "ref.wsq", "rb") as ref:
            assert out.read() == ref.read()
        assert record["output_bytes"] > 0 and record["input_bytes"] > 0

    with open(tmp_path / "report.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert [row["status"] for row in rows] == [r["status"] for r in records]


def test_an_unknown_output_type_is_refused_before_any_work(tmp_path):
    with pytest.raises(ValueError):
        quorvel.dask.convert([], tmp_path, to="gif")
    assert quorvel.dask.convert([], tmp_path / "empty", to="png") == []


def test_outputs_are_those_of_quorvel_batch(tmp_path, client):
    tool = os.environ.get("QUORVEL_TOOL")
    if not tool:
        pytest.skip("QUORVEL_TOOL is not set (CTest sets it)")
    src = tmp_path / "in"
    src.mkdir()
    for i in range(4):
        quorvel.save(ridges(100, 95 + 9 * i, seed=i), src / f"s{i}.png")
    subprocess.run([tool, "batch", str(src), str(tmp_path / "batch"), "--to", "wsq", "--formats", "png",
                    "--bitrate", "2.25", "--ppi", "1000", "--comment", "run 1"], check=True, capture_output=True)
    records = quorvel.dask.convert(str(src / "*.png"), tmp_path / "dask", to="wsq", bitrate=2.25, ppi=1000,
                                   comment="run 1")
    assert len(records) == 4
    for record in records:
        name = os.path.basename(record["target"])
        with open(record["target"], "rb") as ours, open(tmp_path / "batch" / name, "rb") as theirs:
            assert ours.read() == theirs.read(), name


def test_the_folders_below_the_glob_root_are_mirrored_and_shared_outputs_fail(tmp_path, client):
    scans = tmp_path / "scans"
    for year in ("2020", "2021"):
        (scans / year).mkdir(parents=True)
        quorvel.save(ridges(90, 100, seed=int(year)), scans / year / "001.png")
    quorvel.save(ridges(95, 100, seed=1), scans / "2021" / "002.png")
    quorvel.save(ridges(95, 100, seed=2), scans / "2021" / "002.bmp")

    records = quorvel.dask.convert(str(scans / "**" / "*.*"), tmp_path / "out", to="wsq", bitrate=2.25, ppi=1000,
                                   comment="run 2")
    by_name = {os.path.relpath(r["source"], scans): r for r in records}
    for year in ("2020", "2021"):
        record = by_name[os.path.join(year, "001.png")]
        assert record["status"] == "converted", record["message"]
        assert record["target"] == str(tmp_path / "out" / year / "001.wsq")
    for name in ("002.png", "002.bmp"):
        record = by_name[os.path.join("2021", name)]
        assert record["status"] == "failed"
        assert "same output" in record["message"]
    assert not (tmp_path / "out" / "2021" / "002.wsq").exists()

    tool = os.environ.get("QUORVEL_TOOL")
    if tool:
        subprocess.run([tool, "batch", str(scans), str(tmp_path / "batch"), "--to", "wsq", "--formats", "png",
                        "--recursive", "--bitrate", "2.25", "--ppi", "1000", "--comment", "run 2"], check=True,
                       capture_output=True)
        for year in ("2020", "2021"):
            with open(tmp_path / "out" / year / "001.wsq", "rb") as ours, \
                    open(tmp_path / "batch" / year / "001.wsq", "rb") as theirs:
                assert ours.read() == theirs.read(), year
