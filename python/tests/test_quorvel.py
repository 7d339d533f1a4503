"""The Python package against the codec: numpy round trips, the same stream bytes as the
quorvel tool, the stream's facts, errors, and a thread pool giving the serial results."""

import os
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import quorvel


def ridges(height, width, seed=0):
    """Curved ridges with a little noise: an image the codec treats as a print."""
    y, x = np.mgrid[0:height, 0:width]
    rng = np.random.default_rng(seed)
    r = np.hypot(x - width / 2, y - height / 3) / (2.2 + seed % 5 * 0.3)
    return np.clip(128 + 90 * np.sin(r) + rng.normal(0, 6, (height, width)), 0, 255).astype(np.uint8)


def test_round_trip_keeps_shape_and_is_close():
    pixels = ridges(200, 160)
    stream = quorvel.encode(pixels, bitrate=2.25)
    assert isinstance(stream, bytes) and stream[:2] == b"\xff\xa0"
    decoded, ppi, comment = quorvel.decode(stream)
    assert decoded.shape == (200, 160) and decoded.dtype == np.uint8
    assert ppi == 500 and comment is None
    assert np.abs(decoded.astype(int) - pixels).mean() < 6
    assert len(quorvel.encode(pixels, bitrate=0.75)) < len(stream)


@pytest.mark.parametrize("ppi,comment", [(500, None), (1000, "left thumb"), (-1, "")])
def test_resolution_and_comment_come_back(ppi, comment):
    _, got_ppi, got_comment = quorvel.decode(quorvel.encode(ridges(100, 120), ppi=ppi, comment=comment))
    assert got_ppi == ppi
    assert got_comment == comment


def test_decode_accepts_any_contiguous_buffer_and_strided_arrays_encode_as_copies():
    pixels = ridges(180, 300)
    view = pixels[:, ::2]
    stream = quorvel.encode(view)
    assert stream == quorvel.encode(np.ascontiguousarray(view))
    assert np.array_equal(quorvel.decode(bytearray(stream))[0], quorvel.decode(memoryview(stream))[0])


def test_streams_are_the_tools_streams(tmp_path):
    tool = os.environ.get("QUORVEL_TOOL")
    if not tool:
        pytest.skip("QUORVEL_TOOL is not set (CTest sets it)")
    pixels = ridges(130, 150, seed=3)
    pgm = tmp_path / "in.pgm"
    pgm.write_bytes(b"P5\n150 130\n255\n" + pixels.tobytes())
    wsq = tmp_path / "out.wsq"
    subprocess.run([tool, "encode", str(pgm), str(wsq), "--bitrate", "1.5", "--comment", "c"], check=True)
    assert wsq.read_bytes() == quorvel.encode(pixels, bitrate=1.5, comment="c")


def test_info_lists_segments_frame_and_attributes():
    facts = quorvel.info(quorvel.encode(ridges(100, 90), ppi=600, comment="x"))
    assert [s["name"] for s in facts["segments"]] == \
        "SOI COM COM DTT DQT SOF DHT SOB DHT SOB SOB EOI".split()
    assert facts["segments"][0]["length"] is None
    assert facts["frame"]["width"] == 90 and facts["frame"]["height"] == 100
    assert facts["attributes"]["PPI"] == "600"
    assert facts["comments"][1] == "x"
    assert facts["block_tables"] == [0, 1, 1]


STREAM = quorvel.encode(ridges(100, 100))


@pytest.mark.parametrize("call,error,code,text", [
    (lambda: quorvel.encode(np.zeros((40, 40), np.uint8)), quorvel.Error, -14, "image too small : 40 x 40"),
    (lambda: quorvel.encode(np.zeros((100, 100))), TypeError, None, "uint8"),
    (lambda: quorvel.encode(np.zeros((100, 100, 3), np.uint8)), ValueError, None, "2-D"),
    (lambda: quorvel.encode(ridges(100, 100), bitrate=float("nan")), quorvel.Error, -17, "not a number"),
    (lambda: quorvel.decode(b"not a stream"), quorvel.Error, "negative", "decode: "),
    (lambda: quorvel.decode(STREAM[: len(STREAM) // 2]), quorvel.Error, "negative", "decode: "),
    (lambda: quorvel.decode("text"), TypeError, None, ""),
    (lambda: quorvel.info(STREAM[:-40]), quorvel.Error, -1001, "info: "),
])
def test_errors_are_clear_python_exceptions(call, error, code, text):
    with pytest.raises(error) as raised:
        call()
    assert text in str(raised.value)
    if code == "negative":
        assert raised.value.code < 0
    elif code is not None:
        assert raised.value.code == code


def test_error_is_a_value_error_with_a_docstring():
    assert issubclass(quorvel.Error, ValueError)
    assert "code" in quorvel.Error.__doc__
    for function in (quorvel.encode, quorvel.decode, quorvel.info):
        assert "quorvel.Error" in function.__doc__


def test_thread_pool_of_four_gives_the_serial_bytes():
    images = [ridges(90 + 17 * i, 100 + 11 * i, seed=i) for i in range(12)]
    bitrates = [0.5 + 0.25 * (i % 4) for i in range(12)]

    def job(i):
        stream = quorvel.encode(images[i], bitrate=bitrates[i], comment=f"job {i}")
        decoded, _, comment = quorvel.decode(stream)
        return stream, decoded.tobytes(), comment

    serial = [job(i) for i in range(12)]
    with ThreadPoolExecutor(max_workers=4) as pool:
        parallel = list(pool.map(job, range(12)))
    assert parallel == serial
    assert [c for _, _, c in parallel] == [f"job {i}" for i in range(12)]


@pytest.mark.parametrize("call", [
    lambda data: quorvel.encode(data["pixels"]),
    lambda data: quorvel.decode(data["stream"]),
])
def test_codec_calls_release_the_gil(call):
    # With a switch interval far longer than the call, Python never takes the GIL from the
    # worker; the main thread can only run while the worker is inside the call if the call
    # itself let the GIL go. (info() lets it go too, but is over too soon to be seen.)
    pixels = ridges(1200, 1200)
    data = {"pixels": pixels, "stream": quorvel.encode(pixels), "done": False}
    started = threading.Event()

    def work():
        started.set()
        call(data)
        data["done"] = True

    previous = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        started.wait()
        ran_during_the_call = not data["done"]
        worker.join()
    finally:
        sys.setswitchinterval(previous)
    assert ran_during_the_call


def test_version_is_the_librarys():
    assert quorvel.__version__.count(".") == 2
