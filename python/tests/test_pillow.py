"""quorvel.pillow in Debian's Pillow: WSQ opened, loaded, saved and reopened with the bytes and
pixels of quorvel.encode and decode; modes converted or refused; the formats only our readers
know opened by name, from files the tests make."""

import io
import struct

import numpy as np
import pytest
from PIL import Image

import quorvel
import quorvel.pillow  # noqa: F401 (registers the plugin)
from test_quorvel import ridges


def test_open_gives_the_decoders_pixels_resolution_comment_and_attributes(tmp_path):
    stream = quorvel.encode(ridges(120, 100), bitrate=1.5, ppi=1000, comment="left thumb")
    (tmp_path / "a.wsq").write_bytes(stream)
    for source in (tmp_path / "a.wsq", io.BytesIO(stream)):
        with Image.open(source) as im:
            assert (im.format, im.mode, im.size) == ("WSQ", "L", (100, 120))
            assert im.info["dpi"] == (1000, 1000) and im.info["comment"] == "left thumb"
            assert im.info["nist_com"]["PPI"] == "1000" and im.info["nist_com"]["WSQ_BITRATE"] == "1.500000"
            im.load()
            assert np.array_equal(np.asarray(im), quorvel.decode(stream)[0])
    assert "dpi" not in Image.open(io.BytesIO(quorvel.encode(ridges(90, 90), ppi=-1))).info


def test_a_stream_that_begins_with_its_tables_opens():
    stream = quorvel.encode(ridges(90, 90))
    comment_end = 4 + int.from_bytes(stream[4:6], "big")
    tables_first = stream[:2] + stream[comment_end:]
    with Image.open(io.BytesIO(tables_first)) as im:
        assert im.format == "WSQ"
        assert np.array_equal(np.asarray(im), quorvel.decode(stream)[0])


@pytest.mark.parametrize("mode", ["L", "RGB", "P", "1"])
def test_save_writes_what_encode_writes(tmp_path, mode):
    image = Image.fromarray(ridges(110, 130)).convert(mode)
    image.save(tmp_path / "a.wsq", bitrate=2.25, ppi=700, comment="c")
    gray = np.asarray(image.convert("L"))
    assert (tmp_path / "a.wsq").read_bytes() == quorvel.encode(gray, bitrate=2.25, ppi=700, comment="c")
    with Image.open(tmp_path / "a.wsq") as back:
        assert back.info["dpi"] == (700, 700) and back.info["comment"] == "c" and back.size == (130, 110)


@pytest.mark.parametrize("call,error", [
    (lambda d: Image.fromarray(ridges(90, 90).astype(np.uint16) * 200).save(d / "a.wsq"), OSError),
    (lambda d: Image.fromarray(ridges(20, 20)).save(d / "a.wsq"), quorvel.Error),
    (lambda d: Image.open(io.BytesIO(quorvel.encode(ridges(90, 90))[:300])), quorvel.Error),
])
def test_failures_raise(tmp_path, call, error):
    with pytest.raises(error):
        call(tmp_path)


def le16(*values):
    return struct.pack("<%dH" % len(values), *values)


def cut_file():
    """Dr. Halo, 4 x 2, run-length rows; no palette file beside it: the indices are grays."""
    return le16(4, 2, 0, 5) + bytes([0x83, 1, 0x01, 2, 0]) + le16(7) + bytes([0x02, 3, 4, 0x84, 5, 0])


def autodesk_file():
    """3 x 2 after the 32-byte header and the 6-bit palette (entries 0 and 1)."""
    header = le16(0x9119, 3, 2, 0, 0) + bytes([8, 0]) + struct.pack("<I", 6) + bytes(16)
    return header + bytes([63, 0, 10, 1, 2, 3]) + bytes(254 * 3) + bytes([0, 1, 0, 1, 1, 0])


RED, DARK = (252, 0, 40), (4, 8, 12)


@pytest.mark.parametrize("name,data,expected", [
    ("a.cut", cut_file(), [[1, 1, 1, 2], [3, 4, 5, 5]]),
    ("a.pic", autodesk_file(), [[RED, DARK, RED], [DARK, DARK, RED]]),
])
def test_read_only_formats_open_by_name(tmp_path, name, data, expected):
    (tmp_path / name).write_bytes(data)
    with Image.open(tmp_path / name) as im:
        assert im.format == name[2:].upper()
        assert np.array_equal(np.asarray(im), np.array(expected, np.uint8))
    with open(tmp_path / name, "rb") as named_file:
        assert Image.open(named_file).size == (len(expected[0]), 2)
    with pytest.raises(KeyError):  # Pillow's answer for a format it cannot write
        im.save(tmp_path / ("b." + name[2:]))


@pytest.mark.parametrize("name,pillow_format", [("a.pcc", "PCX"), ("a.win", "TGA")])
def test_read_only_formats_from_pillows_files(tmp_path, name, pillow_format):
    rgb = np.stack([ridges(40, 30), ridges(40, 30, seed=1), ridges(40, 30, seed=2)], axis=-1)
    Image.fromarray(rgb).save(tmp_path / name, format=pillow_format)
    with Image.open(tmp_path / name) as im:
        assert im.format == name[2:].upper() and np.array_equal(np.asarray(im), rgb)


def test_every_format_the_library_reads_has_a_reader():
    extensions = Image.registered_extensions()
    for extension, _ in quorvel.readable_formats():
        assert "." + extension in extensions, extension
    assert Image.MIME["WSQ"] == "image/x-wsq"
