"""Saving a frame in the file format its name's extension asks for.

.png: a YUY2 frame converted to RGB; .jpg/.jpeg: an MJPG frame as delivered;
.raw/.yuv: the frame's bytes as delivered; .npy: the array with numpy. What
cannot be written without an image codec (a YUY2 frame as JPEG, an MJPG frame
as PNG) is refused rather than written as something else.
"""
from __future__ import annotations

import os
import struct
import zlib
from pathlib import Path

import numpy as np

from .convert import yuy2_to_rgb
from .errors import BAD_ARGUMENT, BadArgumentError

KINDS = {".png": "png", ".jpg": "jpeg", ".jpeg": "jpeg", ".raw": "raw", ".yuv": "raw",
         ".npy": "npy"}


def kind_of(path: "str | os.PathLike[str]") -> str:
    """The file format a name asks for; BadArgumentError for any other name."""
    kind = KINDS.get(Path(path).suffix.lower())
    if kind is None:
        raise BadArgumentError("save", BAD_ARGUMENT,
                               f"{os.fspath(path)}: frames are saved as .png, .jpg (.jpeg), "
                               ".raw (.yuv) or .npy")
    return kind


def check_savable(kind: str, format: str) -> None:
    """Refuses a file format this frame format cannot be written as."""
    if kind == "png" and format != "YUY2":
        raise BadArgumentError("save", BAD_ARGUMENT,
                               f"PNG is written from YUY2 frames; save {format} frames as "
                               ".jpg (MJPG), .raw or .npy")
    if kind == "jpeg" and format != "MJPG":
        raise BadArgumentError("save", BAD_ARGUMENT,
                               f"JPEG is written from MJPG frames as delivered; save {format} "
                               "frames as .png, .raw or .npy")


def png_bytes(rgb: np.ndarray) -> bytes:
    """A (height, width, 3) uint8 RGB array as an 8-bit RGB PNG image."""
    height, width, _ = rgb.shape
    rows = np.zeros((height, 1 + width * 3), dtype=np.uint8)  # filter type 0 per row
    rows[:, 1:] = rgb.reshape(height, width * 3)

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows.tobytes(), 6)) + chunk(b"IEND", b""))


def save(path: "str | os.PathLike[str]", frame: np.ndarray, format: str) -> str:
    """Writes frame to path as its name asks; returns what was written."""
    kind = kind_of(path)
    check_savable(kind, format)
    if kind == "npy":
        with open(path, "wb") as out:  # np.save would append .npy to another name
            np.save(out, np.asarray(frame))
        return "numpy array"
    if kind == "png":
        Path(path).write_bytes(png_bytes(yuy2_to_rgb(np.asarray(frame))))
        return "PNG, converted from YUY2"
    Path(path).write_bytes(np.asarray(frame).tobytes())
    return "JPEG as delivered" if kind == "jpeg" else f"{format} bytes as delivered"
