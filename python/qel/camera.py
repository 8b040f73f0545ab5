"""An open camera: frames as numpy arrays, settings as properties."""
from __future__ import annotations

import ctypes
import math
import os
import threading
import time
from ctypes import byref, c_double, c_float, c_int32, c_uint8, c_uint16, c_uint32
from dataclasses import dataclass
from typing import Callable, Iterator, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _lib
from ._link import CameraLink, FrameHandler, shape_frame
from .convert import yuy2_to_rgb
from .devices import devices, formats
from .errors import (BAD_ARGUMENT, BUFFER_TOO_SMALL, BUSY, OUT_OF_RANGE, TIMEOUT,
                     BadArgumentError, BusyError, NoDeviceError, OutOfRangeError, QelError,
                     QelTimeoutError, error_for)
from .settings import Settings

OPEN_FAST = 0x1
EMPTY = 0xFFFF
DEFECT_POINTS = 20
REWRITE_STATES = {3: "started", 1: "writing", 2: "verifying", 0: "done"}
# The default wait for a frame: this many frame intervals, and never less
# than the floor, so that a loaded host or a slow stream does not time out.
TIMEOUT_FRAMES = 10
TIMEOUT_FLOOR = 5.0
# The longest single wait the library takes (its time-out is a signed 32-bit
# count of milliseconds); longer waits are made of several.
MAX_WAIT_MS = 2**31 - 1


class Frame(np.ndarray):
    """A frame's pixels (an ndarray) with what the library knows of it."""

    sequence: int = 0
    dropped: int = 0
    sample_time: float = 0.0
    format: str = ""

    def __array_finalize__(self, obj: object) -> None:
        for name in ("sequence", "dropped", "sample_time", "format"):
            setattr(self, name, getattr(obj, name, getattr(Frame, name)))


@dataclass(frozen=True)
class CameraInfo:
    """What the camera tells about itself."""

    firmware_version: str
    temperatures: Tuple[int, int]
    serial: int
    usb_mode: int
    recognition: int


def _check_range(name: str, value: float, low: float, high: float) -> None:
    if not low <= value <= high:
        raise OutOfRangeError(name, OUT_OF_RANGE, f"{name} {value} is outside {low}..{high}")


class Camera:
    """A camera opened under a key; use ``Camera.open`` and ``with``."""

    def __init__(self, key: int, capture_only: bool) -> None:
        self.key = key
        self.capture_only = capture_only
        self._lib = _lib.lib()
        self._link = CameraLink(self._lib, key)
        self._link.watch(self)
        self._receive = threading.local()  # each thread's frame buffer
        self._stream: Optional[Tuple[int, int, float, str]] = None

    # ---- opening and closing -------------------------------------------------

    @classmethod
    def open(cls, device: Union[int, str], width: Optional[int] = None,
             height: Optional[int] = None, rate: Optional[float] = None,
             format: Optional[str] = None, fast: bool = True) -> "Camera":
        """Opens the device at a listing position or with a serial text ("QEL5#0000ABCD").

        Width, height, rate and format default to the device's first capture
        format. ``fast`` returns as soon as the first frame has arrived.
        """
        lib = _lib.lib()
        flags = OPEN_FAST if fast else 0
        position = device if isinstance(device, int) else None
        if position is None and (format is not None or None in (width, height, rate)):
            # The serial open takes no format: find the position it names.
            matches = [d.position for d in devices() if d.serial_text == device]
            if not matches:
                raise NoDeviceError("QelOpenSerialNo", 5, f"no camera listed as {device!r}")
            position = matches[0]
        if None in (width, height, rate):
            first = formats(position)[0] if position is not None else None
            if first is None:
                raise BadArgumentError("open", BAD_ARGUMENT, "width, height and rate are needed")
            width = first.width if width is None else width
            height = first.height if height is None else height
            rate = first.rate if rate is None else rate
            format = first.format if format is None else format
        if position is not None and format is None:
            # The library needs a format name: that of the first format of this size.
            sizes = [f.format for f in formats(position) if (f.width, f.height) == (width, height)]
            format = sizes[0] if sizes else "YUY2"
        if position is not None:
            result = lib.QelOpenEx(position, width, height, float(rate),
                                   format.encode() if format else None, flags)
            function, key = "QelOpenEx", position
        else:
            out = c_int32(-1)
            result = lib.QelOpenSerialNoEx(str(device).encode(), byref(out), width, height,
                                           float(rate), flags)
            function, key = "QelOpenSerialNoEx", out.value
        if result < 0:
            raise error_for(lib, function)
        return cls(key, capture_only=result == 1)

    def close(self) -> None:
        """Closes the camera (LED off, control interface closed, capture stopped).

        From inside the camera's own frame callback the library refuses: that
        raises BusyError and the camera stays open. An exception a frame
        callback raised and no call has raised yet is raised after closing.
        """
        if self._link.close() == BUSY:
            raise BusyError("QelClose", BUSY,
                            "a camera cannot be closed from its own frame callback")
        self._raise_callback_error()

    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<qel.Camera key={self.key}{'' if self._link.open else ' closed'}>"

    # ---- helpers -----------------------------------------------------------

    def _raise_callback_error(self) -> None:
        error = self._link.take_error()
        if error is not None:
            raise error

    def _call(self, function: str, *args: object) -> None:
        self._raise_callback_error()
        if not getattr(self._lib, function)(self.key, *args):
            raise error_for(self._lib, function)

    def _get(self, function: str, ctype: type = c_int32) -> int:
        value = ctype()
        self._call(function, byref(value))
        return value.value

    # ---- frames --------------------------------------------------------------

    def stream_format(self) -> Tuple[int, int, float, str]:
        """The running stream: (width, height, frame rate, format name)."""
        width, height, rate = c_int32(), c_int32(), c_double()
        text = ctypes.create_string_buffer(16)
        self._call("QelGetStreamFormat", byref(width), byref(height), byref(rate), text, 16)
        return width.value, height.value, rate.value, text.value.decode("latin-1")

    def _default_timeout(self) -> float:
        rate = self._stream_once()[2]
        return max(TIMEOUT_FLOOR, TIMEOUT_FRAMES / rate) if rate > 0 else TIMEOUT_FLOOR

    def _stream_once(self) -> Tuple[int, int, float, str]:
        if self._stream is None:
            self._stream = self.stream_format()
        return self._stream

    def _frame_buffer(self) -> np.ndarray:
        buffer = getattr(self._receive, "buffer", None)
        if buffer is None:
            width, height, _, _ = self._stream_once()
            buffer = self._receive.buffer = np.empty(max(width * height * 4, 4096), np.uint8)
        return buffer

    def grab(self, timeout: Optional[float] = None) -> Frame:
        """Waits up to timeout seconds for a new frame.

        YUY2 gives a (height, width, 2) uint8 array, other formats (MJPG) the
        frame's bytes as a 1-D uint8 array; the result carries ``sequence``,
        ``dropped``, ``sample_time`` and ``format``. No frame in time raises
        QelTimeoutError (a TimeoutError). Without a timeout the wait is ten
        frame intervals, at least 5 s; ``math.inf`` waits without limit.
        Several threads may grab from one camera; each new frame goes to one.
        """
        self._raise_callback_error()
        if timeout is None:
            timeout = self._default_timeout()
        if math.isnan(timeout):
            raise BadArgumentError("grab", BAD_ARGUMENT, "the time-out is not a number")
        buffer = self._frame_buffer()
        info = _lib.QelFrameInfo(size=ctypes.sizeof(_lib.QelFrameInfo))
        deadline = time.monotonic() + timeout
        while True:
            pointer = buffer.ctypes.data_as(ctypes.POINTER(ctypes.c_ubyte))
            wait_ms = min(max(deadline - time.monotonic(), 0.0) * 1000, MAX_WAIT_MS)
            got = self._lib.QelWaitImage(self.key, pointer, buffer.size, byref(info), int(wait_ms))
            if got == 1:
                break
            if got == 0:
                if wait_ms == MAX_WAIT_MS:
                    continue
                raise QelTimeoutError("QelWaitImage", TIMEOUT, f"no frame within {timeout} s")
            error = error_for(self._lib, "QelWaitImage")
            if error.code != BUFFER_TOO_SMALL or info.bytes <= buffer.size:
                raise error
            buffer = self._receive.buffer = np.empty(info.bytes, np.uint8)  # the frame waits
        frame = shape_frame(buffer[:info.bytes].copy(), info).view(Frame)
        frame.sequence, frame.dropped = info.sequence, info.dropped
        frame.sample_time, frame.format = info.sampleTime, info.formatName.decode("latin-1")
        return frame

    def grab_rgb(self, timeout: Optional[float] = None) -> Frame:
        """Grabs a YUY2 frame and converts it to (height, width, 3) RGB (BT.601)."""
        frame = self.grab(timeout)
        if frame.ndim != 3:
            raise BadArgumentError("grab_rgb", BAD_ARGUMENT,
                                   f"grab_rgb needs a YUY2 stream, not {frame.format}")
        rgb = yuy2_to_rgb(np.asarray(frame)).view(Frame)
        rgb.__array_finalize__(frame)
        return rgb

    def frames(self, count: Optional[int] = None,
               timeout: Optional[float] = None) -> Iterator[Frame]:
        """Yields new frames, ``count`` of them or without end."""
        n = 0
        while count is None or n < count:
            yield self.grab(timeout)
            n += 1

    def set_frame_callback(self, callback: Optional[FrameHandler]) -> None:
        """Calls callback(frame, info) on the streaming thread for each frame;
        None removes it. The frame is shaped as grab() shapes it; info holds
        sequence, dropped, sample_time, width, height and format. Keep it
        short: the stream waits for it.

        An exception the callback raises is kept (the first one until it is
        raised) and raised by the camera's next call: a setting or grab()
        before it acts, set_frame_callback() and close() after it.
        """
        if not self._link.install(callback):
            raise error_for(self._lib, "QelSetFrameCallback")
        self._raise_callback_error()

    # ---- settings --------------------------------------------------------------

    @property
    def settings(self) -> Settings:
        """The camera's settings by name, as the library describes them (see Settings)."""
        return Settings(self)

    @property
    def shutter_range(self) -> Tuple[int, int]:
        """The shutter line counts of this camera's model."""
        return self._get("QelGetShutterMin", c_uint16), self._get("QelGetShutterMax", c_uint16)

    @property
    def shutter(self) -> int:
        """Shutter as a line count, within shutter_range."""
        return self._get("QelGetShutter", c_uint16)

    @shutter.setter
    def shutter(self, lines: int) -> None:
        _check_range("shutter", lines, *self.shutter_range)
        self._call("QelSetShutter", int(lines))

    @property
    def shutter_time(self) -> float:
        """Shutter as a time in seconds, 0.0001..1.0."""
        return self._get("QelGetShutterTime", c_double)

    @shutter_time.setter
    def shutter_time(self, seconds: float) -> None:
        _check_range("shutter_time", seconds, 0.0001, 1.0)
        self._call("QelSetShutterTime", float(seconds))

    @property
    def gain(self) -> int:
        """Gain on the fixed 0..240 scale."""
        return self._get("QelGetGain")

    @gain.setter
    def gain(self, value: int) -> None:
        _check_range("gain", value, 0, 240)
        self._call("QelSetGain", int(value))

    @property
    def raw_gain_range(self) -> Tuple[int, int]:
        return self._get("QelXGetGainMin"), self._get("QelXGetGainMax")

    @property
    def raw_gain(self) -> int:
        """Gain on the camera's own scale, within raw_gain_range."""
        return self._get("QelXGetGain")

    @raw_gain.setter
    def raw_gain(self, value: int) -> None:
        _check_range("raw_gain", value, *self.raw_gain_range)
        self._call("QelXSetGain", int(value))

    def _gains(self, function: str) -> Tuple[int, int, int, int]:
        values = [c_uint16() for _ in range(4)]
        self._call(function, *[byref(v) for v in values])
        return tuple(v.value for v in values)  # type: ignore[return-value]

    @staticmethod
    def _four(value: Union[int, Sequence[int]]) -> List[int]:
        values = [int(value)] * 4 if isinstance(value, (int, np.integer)) else list(value)
        if len(values) != 4:
            raise BadArgumentError("digital_gain", BAD_ARGUMENT, "digital gain takes one value or four")
        return values

    @property
    def digital_gain(self) -> Tuple[int, int, int, int]:
        """The four digital gains on the fixed 0..4095 scale; set one value or four."""
        return self._gains("QelGetDigitalGain")

    @digital_gain.setter
    def digital_gain(self, value: Union[int, Sequence[int]]) -> None:
        values = self._four(value)
        for v in values:
            _check_range("digital_gain", v, 0, 4095)
        self._call("QelSetDigitalGain", *values)

    @property
    def raw_digital_gain(self) -> Tuple[int, int, int, int]:
        """The four digital gains on the camera's own scale."""
        return self._gains("QelXGetDigitalGain")

    @raw_digital_gain.setter
    def raw_digital_gain(self, value: Union[int, Sequence[int]]) -> None:
        values = self._four(value)
        low, high = self._gains("QelXGetDigitalGainMin")[0], self._gains("QelXGetDigitalGainMax")[0]
        for v in values:
            _check_range("raw_digital_gain", v, low, high)
        self._call("QelXSetDigitalGain", *values)

    @property
    def analog_gain(self) -> int:
        """Analog gain 0..15 (QEL5 cameras)."""
        return self._get("Qel5GetAnalogGain")

    @analog_gain.setter
    def analog_gain(self, value: int) -> None:
        _check_range("analog_gain", value, 0, 15)
        self._call("Qel5SetAnalogGain", int(value))

    def _int_property(name: str, getter: str, setter: str, low: int, high: int,
                      doc: str) -> property:  # noqa: N805 - a class-body helper
        def get(self: "Camera") -> int:
            return self._get(getter)

        def put(self: "Camera", value: int) -> None:
            _check_range(name, int(value), low, high)
            self._call(setter, int(value))

        return property(get, put, doc=doc)

    exposure = _int_property("exposure", "QelGetExposure", "QelSetExposure", -13, 0,
                             "Exposure -13..0.")
    led = _int_property("led", "QelGetLed", "QelSetLed", 0, 64, "LED level 0..64.")
    camera_number = _int_property("camera_number", "QelGetCameraNo", "QelSetCameraNo", 1, 2,
                                  "Camera number 1 or 2.")
    del _int_property

    @property
    def color_bar(self) -> bool:
        """The colour bar test image."""
        return bool(self._get("QelGetColorBar"))

    @color_bar.setter
    def color_bar(self, on: bool) -> None:
        self._call("QelSetColorBar", int(bool(on)))

    @property
    def defect_correction(self) -> bool:
        """Software correction of defective pixels in delivered frames."""
        return bool(self._get("QelGetPixelDefectOnOff"))

    @defect_correction.setter
    def defect_correction(self, on: bool) -> None:
        self._call("QelSetPixelDefectOnOff", int(bool(on)))

    # ---- GPIO ----------------------------------------------------------------

    def set_gpio_direction(self, mask: int) -> None:
        """Sets the GPIO direction byte (QEL cameras)."""
        _check_range("gpio direction", mask, 0, 255)
        self._call("QelGPIODirection", int(mask))

    def set_gpio_output(self, value: int) -> None:
        """Sets the GPIO output byte (QEL cameras)."""
        _check_range("gpio output", value, 0, 255)
        self._call("QelGPIOOutput", int(value))

    @property
    def gpio_input(self) -> int:
        """The GPIO input byte (QEL cameras)."""
        return self._get("QelGPIOInput", c_uint8)

    # ---- information, registers, defects -----------------------------------------

    def firmware_version(self) -> str:
        text = ctypes.create_string_buffer(64)
        self._call("QelVersion", text, len(text))
        return text.value.decode("latin-1")

    def temperature(self, which: int = 1) -> int:
        _check_range("temperature type", which, 1, 2)
        value = c_int32()
        self._call("QelTemperature", which, byref(value))
        return value.value

    @property
    def serial(self) -> int:
        """The serial number the camera reports; setting stores a new one."""
        return self._get("QelGetSerialNo", c_uint32)

    @serial.setter
    def serial(self, value: int) -> None:
        _check_range("serial", value, 0, 0xFFFFFFFF)
        self._call("QelSetSerialNo", int(value))

    def info(self) -> CameraInfo:
        """Firmware version, temperatures, serial, USB mode and recognition byte."""
        return CameraInfo(self.firmware_version(), (self.temperature(1), self.temperature(2)),
                          self.serial, self._get("QelUSBMode", c_uint8),
                          self._get("QelCameraRecognition", c_uint8))

    def get_register(self, address: int, wide: bool = False) -> int:
        """Reads the 8-bit (or with wide, 16-bit) register at address."""
        _check_range("register address", address, 0, 0xFFFF)
        value = c_uint16() if wide else c_uint8()
        self._call("QelGetRegisterW" if wide else "QelGetRegister", int(address), byref(value))
        return value.value

    def set_register(self, address: int, value: int, wide: bool = False) -> None:
        """Writes the 8-bit (or with wide, 16-bit) register at address."""
        _check_range("register address", address, 0, 0xFFFF)
        _check_range("register value", value, 0, 0xFFFF if wide else 0xFF)
        self._call("QelSetRegisterW" if wide else "QelSetRegister", int(address), int(value))

    def get_defects(self, camera_number: int, size_index: int) -> List[Tuple[int, int]]:
        """The defect table for camera number 1 or 2 and size index 0..2, as (x, y)."""
        _check_range("camera_number", camera_number, 1, 2)
        _check_range("size_index", size_index, 0, 2)
        points = (_lib.QelDefectPoint * DEFECT_POINTS)()
        self._call("QelGetPixelDefect", camera_number, size_index, points)
        return [(p.x, p.y) for p in points if p.x != EMPTY and p.y != EMPTY]

    def set_defects(self, camera_number: int, size_index: int,
                    points: Sequence[Tuple[int, int]]) -> None:
        """Writes a defect table of at most 20 (x, y) points; the rest is left empty."""
        _check_range("camera_number", camera_number, 1, 2)
        _check_range("size_index", size_index, 0, 2)
        if len(points) > DEFECT_POINTS:
            raise OutOfRangeError("set_defects", OUT_OF_RANGE,
                                  f"a defect table holds at most {DEFECT_POINTS} points")
        table = (_lib.QelDefectPoint * DEFECT_POINTS)(
            *[_lib.QelDefectPoint(EMPTY, EMPTY)] * DEFECT_POINTS)
        for i, (x, y) in enumerate(points):
            _check_range("defect x", x, 0, EMPTY - 1)
            _check_range("defect y", y, 0, EMPTY - 1)
            table[i] = _lib.QelDefectPoint(x, y)
        self._call("QelSetPixelDefect", camera_number, size_index, table)

    # ---- firmware ------------------------------------------------------------------

    def rewrite_firmware(self, path: "str | os.PathLike[str]",
                         progress: Optional[Callable[[str, float, int], None]] = None,
                         force: bool = False, poll: float = 0.05) -> None:
        """Writes the firmware image at path to the camera and verifies it.

        Calls progress(state, percent, seconds) at each poll; state is
        "started", "writing", "verifying" or "done". An empty image is refused
        unless force is set. Raises QelError when the rewrite fails.
        """
        if os.path.getsize(path) == 0 and not force:
            raise BadArgumentError("rewrite_firmware", BAD_ARGUMENT,
                                   f"{path} is empty; pass force=True to write it anyway")
        self._call("QelSoftRewrite", os.fsencode(path))
        seconds, percent = c_int32(0), c_float(0.0)
        while True:
            state = self._lib.QelSoftRewriteState(self.key, byref(seconds), byref(percent))
            if state < 0:
                raise error_for(self._lib, "QelSoftRewriteState") if self._lib.QelLastErrorCode() \
                    else QelError("QelSoftRewriteState", 0, "the firmware rewrite failed")
            if progress:
                # The library's count runs past 100 while verifying the last block.
                progress(REWRITE_STATES[state], min(percent.value, 100.0), seconds.value)
            if state == 0:
                return
            time.sleep(poll)
