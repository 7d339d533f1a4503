"""load, save and convert from Python: round trips by extension, path-like names, the bytes
`quorvel convert` writes, options and errors."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import quorvel
from test_quorvel import ridges


def colour(height, width):
    y, x = np.mgrid[0:height, 0:width]
    return np.stack([x * 5 % 256, y * 3 + 1, 200 - (x + y) % 150], axis=-1).astype(np.uint8)


@pytest.mark.parametrize("name", ["a.png", "a.bmp", "a.tga", "a.rgb"])
def test_lossless_writers_round_trip_gray_and_rgb(tmp_path, name):
    gray, rgb = ridges(60, 50), colour(40, 30)
    quorvel.save(gray, tmp_path / ("g" + name))
    quorvel.save(rgb, tmp_path / name, tiff_compression=1)
    assert np.array_equal(quorvel.load(tmp_path / ("g" + name)), gray)
    back = quorvel.load(str(tmp_path / name))
    assert back.shape == (40, 30, 3) and np.array_equal(back, rgb)


def test_wsq_and_jpeg_options_reach_the_writers(tmp_path):
    pixels = ridges(120, 110)
    quorvel.save(pixels, tmp_path / "a.wsq", bitrate=2.25, ppi=1000, comment="kept")
    facts = quorvel.info((tmp_path / "a.wsq").read_bytes())
    assert facts["attributes"]["WSQ_BITRATE"] == "2.250000" and facts["attributes"]["PPI"] == "1000"
    assert facts["comments"][1] == "kept"
    quorvel.save(colour(64, 64), tmp_path / "low.jpg", jpeg_quality=10)
    quorvel.save(colour(64, 64), tmp_path / "high.jpg", jpeg_quality=95)
    assert os.path.getsize(tmp_path / "low.jpg") < os.path.getsize(tmp_path / "high.jpg")


def test_convert_writes_what_the_tool_writes(tmp_path):
    tool = os.environ.get("QUORVEL_TOOL")
    if not tool:
        pytest.skip("QUORVEL_TOOL is not set (CTest sets it)")
    quorvel.save(ridges(100, 130, seed=2), tmp_path / "in.png")
    quorvel.convert(tmp_path / "in.png", tmp_path / "py.wsq", bitrate=1.5, comment="c")
    subprocess.run([tool, "convert", str(tmp_path / "in.png"), str(tmp_path / "tool.wsq"), "--bitrate", "1.5",
                    "--comment", "c"], check=True, capture_output=True)
    assert (tmp_path / "py.wsq").read_bytes() == (tmp_path / "tool.wsq").read_bytes()


@pytest.mark.parametrize("call,error", [
    (lambda d: quorvel.load(d / "missing.png"), quorvel.Error),
    (lambda d: quorvel.load(d / "a.xyz"), quorvel.Error),
    (lambda d: quorvel.save(ridges(90, 90), d / "a.gif"), quorvel.Error),
    (lambda d: quorvel.save(ridges(90, 90), d / "a.png", colours=3), TypeError),
    (lambda d: quorvel.save(np.zeros((9, 9, 4), np.uint8), d / "a.png"), ValueError),
    (lambda d: quorvel.save(np.zeros((9, 9)), d / "a.png"), TypeError),
    (lambda d: quorvel.convert(d / "missing.png", d / "b.wsq"), quorvel.Error),
])
def test_failures_raise(tmp_path, call, error):
    with pytest.raises(error):
        call(tmp_path)
    assert not (tmp_path / "b.wsq").exists()
