"""What a Camera object's lifetime must not cut short: its key's open state,
the frame callbacks the library may still call, and what a callback raised.

A ctypes callback freed while the library can still call it crashes the
process. The library stops calling a callback once a replacement, removal or
close made from outside the callback has returned; until then the link keeps
every callback it installed. The link outlives the Camera object: a camera
dropped without close() is closed by its finalizer, and so is one still open
at interpreter exit.
"""
from __future__ import annotations

import ctypes
import threading
import weakref
from typing import Any, Callable, Dict, List, Optional

import numpy as np

from . import _lib
from .errors import BUSY

FrameHandler = Callable[[np.ndarray, Dict[str, Any]], None]


def shape_frame(data: np.ndarray, info: _lib.QelFrameInfo) -> np.ndarray:
    """A full YUY2 frame as (height, width, 2); any other frame stays 1-D."""
    if info.formatName.decode("latin-1") == "YUY2" and info.bytes == info.width * info.height * 2:
        return data.reshape(info.height, info.width, 2)
    return data


class CameraLink:
    """The open state and installed callbacks of one camera key."""

    def __init__(self, lib: ctypes.CDLL, key: int) -> None:
        self.lib = lib
        self.key = key
        self.open = True
        self._callbacks: List[Any] = []  # every trampoline the library may still call
        self._error: Optional[BaseException] = None
        self._lock = threading.Lock()
        self._inside = threading.local()  # depth of this camera's callback on this thread

    def watch(self, camera: object) -> None:
        """Closes the camera when `camera` is collected or the interpreter exits."""
        weakref.finalize(camera, CameraLink._release, self)

    def in_callback(self) -> bool:
        return getattr(self._inside, "depth", 0) > 0

    # ---- closing ---------------------------------------------------------------

    def close(self) -> int:
        """Closes the key; 0, or BUSY when the library refused (from the callback).

        No lock is held over the library's call: it waits for a running
        callback, which may itself call into this link.
        """
        if not self.open:
            return 0
        self.lib.QelClose(self.key)
        if self.lib.QelLastErrorCode() == BUSY:
            return BUSY
        with self._lock:
            self.open = False
            self._callbacks = []  # the close waited for any running call
        return 0

    def _release(self) -> None:
        # Collected on its own streaming thread, the camera cannot be closed
        # there: another thread closes it once this callback has returned.
        if self.close() == BUSY:
            threading.Thread(target=self.close, name=f"qel-close-{self.key}", daemon=True).start()

    # ---- frame callbacks -------------------------------------------------------------

    def install(self, handler: Optional[FrameHandler]) -> bool:
        """Installs handler (None removes it); False when the library refused."""
        trampoline = self._trampoline(handler) if handler else _lib.FrameCallback()
        with self._lock:
            self._callbacks.append(trampoline)  # alive before the library can call it
        if not self.lib.QelSetFrameCallback(self.key, trampoline, None):
            with self._lock:
                self._callbacks.remove(trampoline)
            return False
        if not self.in_callback():
            # From outside the callback the library waited for its running
            # call: none of the earlier ones can be called any more.
            with self._lock:
                self._callbacks = [trampoline] if handler else []
        return True

    def _trampoline(self, handler: FrameHandler) -> Any:
        def trampoline(key, frame, info_pointer, user):  # type: ignore[no-untyped-def]
            self._inside.depth = getattr(self._inside, "depth", 0) + 1
            try:
                info = info_pointer.contents
                data = np.ctypeslib.as_array(frame, shape=(info.bytes,)).copy() \
                    if info.bytes > 0 else np.empty(0, dtype=np.uint8)
                handler(shape_frame(data, info),
                        {"sequence": info.sequence, "dropped": info.dropped,
                         "sample_time": info.sampleTime, "width": info.width,
                         "height": info.height, "format": info.formatName.decode("latin-1")})
            except BaseException as error:  # noqa: B036 - nothing may unwind into C
                with self._lock:
                    if self._error is None:
                        self._error = error
            finally:
                self._inside.depth -= 1

        return _lib.FrameCallback(trampoline)

    def take_error(self) -> Optional[BaseException]:
        """The first exception a callback raised since the last call, once."""
        with self._lock:
            error, self._error = self._error, None
            return error
