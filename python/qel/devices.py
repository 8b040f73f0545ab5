"""Device listing and capture formats."""
from __future__ import annotations

import ctypes
import re
from dataclasses import dataclass
from typing import List, Optional

from . import _lib
from .errors import QelError, error_for

MODELS = {"QEL": "QEL", "QEL2": "QEL2", "QEL5": "QEL5"}
# The library appends "#" and eight hex digits to these names only; any other
# device's name may hold a "#" of its own.
_SERIAL_TEXT = re.compile(r"(QEL|QEL2|QEL5)#([0-9A-Fa-f]{8})")


@dataclass(frozen=True)
class Device:
    """One entry of the device listing.

    ``position`` is the key under which the device opens. The library lists
    a comma in a friendly name as "-" ("USB Camera, HD" is listed as
    "USB Camera- HD"), so every device takes one position.
    """

    position: int
    name: str
    serial_text: Optional[str]  # "QEL5#0000ABCD" for a camera of the family, else None
    serial: Optional[int]
    model: Optional[str]  # "QEL", "QEL2", "QEL5", or None for any other video device


@dataclass(frozen=True)
class Format:
    """One capture format of a device."""

    width: int
    height: int
    rate: float
    format: str
    interval: int = 0  # the device's frame interval, 100 ns units

    @property
    def rate_text(self) -> str:
        """The rate as a person writes it: "30", "59.94", "7.5"."""
        return _interval_rate(self.interval) if self.interval > 0 else nominal_rate(self.rate)


def _interval_rate(interval: int) -> str:
    text = ctypes.create_string_buffer(32)
    if not _lib.lib().QelNominalFrameRate(interval, None, None, text, len(text)):
        raise error_for(_lib.lib(), "QelNominalFrameRate")
    return text.value.decode("ascii")


def nominal_rate(fps: float) -> str:
    """A frame rate as a person writes it, by the library's rule
    (QelNominalFrameRate): within 0.05 % of a whole rate or of a video rate
    n * 1000/1001 it is that rate (30.00003 is "30", 59.94006 is "59.94");
    otherwise it keeps three decimals, without trailing zeros. A listed rate
    is 10^7 / interval, so the rule is applied to that interval. A rate no
    interval stands for (faster than one frame per 100 ns, or below half a
    thousandth of a frame per second) is "0"."""
    if not (0.0005 <= fps <= 1e7):
        return "0"
    return _interval_rate(round(1e7 / fps))


def _listing(function: str) -> List[str]:
    lib = _lib.lib()
    call = getattr(lib, function)
    size = 1024
    while True:
        buffer = ctypes.create_string_buffer(size)
        count = call(buffer, size)
        if count == 0:
            return []
        if count > 0:
            return buffer.value.decode("latin-1").split(",")[:count]
        if size >= 1 << 20:
            raise error_for(lib, function)
        size *= 4


def devices() -> List[Device]:
    """The video devices the library can open, in key order."""
    result = []
    for position, entry in enumerate(_listing("QelGetDeviceWithSerialNo")):
        serial = _SERIAL_TEXT.fullmatch(entry)
        name = serial.group(1) if serial else entry
        result.append(Device(position, name, entry if serial else None,
                             int(serial.group(2), 16) if serial else None, MODELS.get(name)))
    return result


def formats(device: "int | Device") -> List[Format]:
    """Every capture format of the device at a listing position (or a Device)."""
    lib = _lib.lib()
    position = device.position if isinstance(device, Device) else int(device)
    count = lib.QelGetFormatListEx(position, None, 0)
    while True:
        if count < 0:
            raise error_for(lib, "QelGetFormatListEx")
        array = (_lib.QelFormatEx * max(count, 1))()
        got = lib.QelGetFormatListEx(position, array, count)
        if got < 0:
            raise error_for(lib, "QelGetFormatListEx")
        if got <= count:
            return [Format(f.width, f.height, f.frameRate, f.format.decode("latin-1"),
                           f.frameInterval) for f in array[:got]]
        count = got  # the list grew in between


def library_version() -> str:
    """The native library's version, "major.minor.patch"."""
    lib = _lib.lib()
    numbers = [ctypes.c_int32() for _ in range(3)]
    lib.QelLibraryVersion(*[ctypes.byref(n) for n in numbers])
    return ".".join(str(n.value) for n in numbers)


def dll_version() -> str:
    """The library's QelDLLVersion text (version, date and time lines)."""
    lib = _lib.lib()
    buffer = ctypes.create_string_buffer(64)
    if not lib.QelDLLVersion(buffer, len(buffer)):
        raise error_for(lib, "QelDLLVersion")
    return buffer.value.decode("latin-1")


__all__ = ["Device", "Format", "devices", "formats", "library_version", "dll_version",
           "QelError"]
