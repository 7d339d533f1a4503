"""Pillow plugin: importing quorvel.pillow lets Pillow read and write WSQ and read every other
format the library loads that Pillow itself does not.

    >>> from PIL import Image
    >>> import quorvel.pillow
    >>> im = Image.open("print.wsq")           # mode "L"
    >>> im.info["dpi"], im.info.get("comment"), im.info["nist_com"]["PPI"]
    ((500, 500), 'left thumb', '500')
    >>> im.save("copy.wsq", bitrate=0.75, ppi=500, comment="left thumb")
    >>> Image.open("scan.cut").convert("RGB")  # read only, format "CUT"

WSQ is found by its first bytes. The read-only formats have no signature Pillow could test, so
they are found by the file's extension and need a named file (a path, or a file object with a
name); they come before Pillow's own guessers so that a file named for one of them is read by
our reader. Images are decoded when opened; load() only hands the pixels to Pillow.
"""

import os

import numpy as np
from PIL import Image, ImageFile

from . import _quorvel

WSQ_FORMAT = "WSQ"
WSQ_MIME = "image/x-wsq"
_DECODER = "quorvel"

# Modes whose gray value Pillow defines (alpha is dropped); "I", "I;16" and "F" hold more than
# 8 bits, and cutting them down is the caller's choice.
_CONVERTIBLE = {"1", "L", "LA", "La", "P", "PA", "RGB", "RGBA", "RGBa", "RGBX", "CMYK", "YCbCr"}


def _set_mode(image, mode):
    # Pillow 10.1 made Image.mode a read-only property over _mode.
    if isinstance(getattr(type(image), "mode", None), property):
        image._mode = mode
    else:
        image.mode = mode


class _PixelsDecoder(ImageFile.PyDecoder):
    """Hands Pillow the pixels the library decoded when the file was opened (its one tile's
    argument)."""

    _pulls_fd = True

    def decode(self, buffer):
        self.set_as_raw(self.args[0])
        return -1, 0


class _DecodedFile(ImageFile.ImageFile):
    """An image whose pixels the library decoded in _open(): a (rows, columns) or
    (rows, columns, 3) uint8 array."""

    def _take_pixels(self, pixels):
        _set_mode(self, "L" if pixels.ndim == 2 else "RGB")
        self._size = (pixels.shape[1], pixels.shape[0])
        self.tile = [(_DECODER, (0, 0) + self._size, 0, (pixels.tobytes(),))]


class WsqImageFile(_DecodedFile):
    format = WSQ_FORMAT
    format_description = "WSQ fingerprint image"

    def _open(self):
        stream = self.fp.read()
        if not _accept(stream):
            raise SyntaxError("not a WSQ file")
        pixels, ppi, comment = _quorvel.decode(stream)
        self._take_pixels(pixels)
        if ppi >= 0:
            self.info["dpi"] = (ppi, ppi)
        if comment is not None:
            self.info["comment"] = comment
        self.info["nist_com"] = _quorvel.info(stream)["attributes"]


def _accept(prefix):
    return _quorvel.looks_like_wsq(bytes(prefix[:4]))


def _gray(image):
    if image.mode not in _CONVERTIBLE:
        raise OSError(f'cannot write mode {image.mode} as WSQ (8-bit gray): convert it to "L" first')
    return image if image.mode == "L" else image.convert("L")


def _ppi(options):
    if "ppi" in options:
        return options["ppi"]
    if "dpi" in options:
        return int(round(options["dpi"][0]))
    return 500


def _save(image, fp, filename):
    options = image.encoderinfo
    pixels = np.asarray(_gray(image))
    fp.write(_quorvel.encode(pixels, bitrate=options.get("bitrate", 0.75), ppi=_ppi(options),
                             comment=options.get("comment")))


def _file_name(image):
    """The name of the file being opened, "" for a stream without one."""
    name = image.filename or getattr(image.fp, "name", "")
    return os.fsdecode(name) if isinstance(name, (str, bytes, os.PathLike)) else ""


def _read_only_class(extension, description):
    """A Pillow image class for one extension the library reads by name."""

    def _open(self):
        name = _file_name(self)
        if os.path.splitext(name)[1].lower() != "." + extension:
            raise SyntaxError(f"not a .{extension} file")
        self._take_pixels(_quorvel.load(name))

    return type(f"{extension.upper()}ImageFile", (_DecodedFile,),
                {"format": extension.upper(), "format_description": description, "_open": _open})


def _register_read_only():
    """Every extension the library reads that Pillow neither reads nor names a format for."""
    known = Image.registered_extensions()
    for extension, description in _quorvel.readable_formats():
        name = extension.upper()
        if extension == "wsq" or "." + extension in known or name in Image.ID:
            continue
        Image.register_open(name, _read_only_class(extension, description))
        Image.register_extension(name, "." + extension)
        # Ahead of Pillow's formats without a signature, which would take any file.
        Image.ID.remove(name)
        Image.ID.insert(0, name)


def _register():
    Image.init()
    Image.register_decoder(_DECODER, _PixelsDecoder)
    Image.register_open(WSQ_FORMAT, WsqImageFile, _accept)
    Image.register_save(WSQ_FORMAT, _save)
    Image.register_extension(WSQ_FORMAT, ".wsq")
    Image.register_mime(WSQ_FORMAT, WSQ_MIME)
    _register_read_only()


_register()
