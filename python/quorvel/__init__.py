"""Quorvel: WSQ compression of 8-bit gray fingerprint images.

    >>> import numpy as np, quorvel
    >>> stream = quorvel.encode(pixels, bitrate=0.75, ppi=500, comment="left thumb")
    >>> pixels2, ppi, comment = quorvel.decode(stream)
    >>> quorvel.info(stream)["attributes"]["PPI"]
    '500'

Every call owns its codec state and releases the GIL while it codes, so a thread pool runs
calls in parallel. Failures raise quorvel.Error (a ValueError) with the codec's code in
`.code` and its diagnostic lines in the message.
"""

from ._quorvel import Error, __version__, decode, encode, info

__all__ = ["Error", "__version__", "decode", "encode", "info"]
