"""The library's failures as exceptions carrying its error code and text."""
from __future__ import annotations

import ctypes
from typing import Dict, Optional, Type

OK = 0
NO_CAMERA = 1
BAD_ARGUMENT = 2
OUT_OF_RANGE = 3
NOT_SUPPORTED = 4
NO_DEVICE = 5
BUSY = 6
TIMEOUT = 7
REFUSED = 8
PLATFORM = 9
NO_MEMORY = 10
BUFFER_TOO_SMALL = 11
DEVICE_LOST = 12
FILE = 13


class QelError(Exception):
    """A call of the library failed. ``code`` is a QEL_ERROR_* value (0 when the
    library did not say), ``text`` the library's sentence, ``function`` the export."""

    def __init__(self, function: str, code: int = 0, text: str = "") -> None:
        self.function = function
        self.code = code
        self.text = text or f"{function} failed"
        super().__init__(self.text)


class NoCameraError(QelError):
    """No camera is open under this key."""


class BadArgumentError(QelError, ValueError):
    """A bad size, text or pointer reached the library."""


class OutOfRangeError(QelError, ValueError):
    """A value outside what the camera's model accepts."""


class NotSupportedError(QelError):
    """The camera (its model, or a webcam) has no such setting."""


class NoDeviceError(QelError, LookupError):
    """No device at this position or with this serial."""


class BusyError(QelError):
    """Already open, or a rewrite or close is under way."""


class QelTimeoutError(QelError, TimeoutError):
    """The camera did not answer, or no frame came, in time."""


class RefusedError(QelError):
    """The camera answered that it did not carry the command out."""


class PlatformError(QelError, OSError):
    """The operating system or its capture framework failed."""


class NoMemoryError(QelError, MemoryError):
    """Memory could not be had."""


class BufferTooSmallError(QelError):
    """The frame or text does not fit the buffer given."""


class DeviceLostError(QelError):
    """The camera was unplugged while open."""


class FileError(QelError, OSError):
    """A file could not be read."""


ERROR_CLASSES: Dict[int, Type[QelError]] = {
    NO_CAMERA: NoCameraError, BAD_ARGUMENT: BadArgumentError, OUT_OF_RANGE: OutOfRangeError,
    NOT_SUPPORTED: NotSupportedError, NO_DEVICE: NoDeviceError, BUSY: BusyError,
    TIMEOUT: QelTimeoutError, REFUSED: RefusedError, PLATFORM: PlatformError,
    NO_MEMORY: NoMemoryError, BUFFER_TOO_SMALL: BufferTooSmallError,
    DEVICE_LOST: DeviceLostError, FILE: FileError,
}


def last_error(lib: ctypes.CDLL) -> "tuple[int, str]":
    """The calling thread's last error code and text; (0, "") from a library without them."""
    if not hasattr(lib, "QelLastErrorCode"):
        return 0, ""
    code = lib.QelLastErrorCode()
    length = lib.QelLastError(None, 0)
    text = ""
    if length > 0:
        buffer = ctypes.create_string_buffer(length + 1)
        lib.QelLastError(buffer, length + 1)
        text = buffer.value.decode("latin-1")
    return code, text


def error_for(lib: ctypes.CDLL, function: str, default: Optional[Type[QelError]] = None) -> QelError:
    """The exception for the failure the thread's last call reported."""
    code, text = last_error(lib)
    cls = ERROR_CLASSES.get(code, default or QelError)
    return cls(function, code, text)
