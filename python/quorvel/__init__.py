"""Quorvel: WSQ compression of 8-bit gray fingerprint images, and raster file conversion.

    >>> import numpy as np, quorvel
    >>> stream = quorvel.encode(pixels, bitrate=0.75, ppi=500, comment="left thumb")
    >>> pixels2, ppi, comment = quorvel.decode(stream)
    >>> quorvel.info(stream)["attributes"]["PPI"]
    '500'
    >>> quorvel.convert("print.png", "print.wsq", bitrate=2.25)

Every call owns its codec and file state and releases the GIL while it works, so a thread
pool runs calls (encode, decode, load, save, convert) in parallel. Failures raise quorvel.Error (a ValueError) with the codec's code in `.code` and
its diagnostic lines in the message. `import quorvel.pillow` teaches Pillow to read and write
WSQ and to read the other formats load() knows.
"""

import os

from . import _quorvel
from ._quorvel import Error, __version__, decode, encode, info, readable_formats

__all__ = ["Error", "__version__", "convert", "decode", "encode", "info", "load", "readable_formats", "save"]


def load(path):
    """Loads any image file the library reads (by its extension: wsq, png, bmp, tif, jpg, gif,
    pcx, tga, psd, pgm, ...) as a (rows, columns) uint8 array when every pixel is gray, else as
    (rows, columns, 3) RGB. Raises quorvel.Error when no reader accepts the file."""
    return _quorvel.load(os.fspath(path))


def save(array, path, **options):
    """Writes a (rows, columns) gray or (rows, columns, 3) RGB uint8 array in the format the
    extension names: wsq, bmp, tif/tiff, png, jpg/jpeg, tga or rgb. Options: bitrate=0.75,
    ppi=500, comment=None (WSQ); tiff_compression=0 (0 none, 1 ZIP, 2 PackBits),
    tiff_predictor=2; jpeg_quality=90. Raises quorvel.Error, TypeError for unknown options."""
    _quorvel.save(array, os.fspath(path), **options)


def convert(source, target, **options):
    """save(load(source), target, **options): converts one file to the format of the
    target's extension."""
    _quorvel.convert(os.fspath(source), os.fspath(target), **options)
