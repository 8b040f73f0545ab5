"""The virtual camera rig: test code that uses cameras without a camera.

Importing this module routes the library to the rig (as ``QEL_PLATFORM=rig``
does), so no camera may be open then; ``enable(False)`` goes back to the
attached cameras. Device ids are the rig's handles
(0..3 for the default population), not listing positions: ``position(id)``
gives the key under which a device opens, ``device_at(position)`` the id of
the device at a key.
"""
from __future__ import annotations

import ctypes
from contextlib import contextmanager
from ctypes import byref, c_int, c_int32
from typing import Iterator, List, Optional, Tuple

from . import _lib

FRAMES_PATTERN, FRAMES_EMPTY, FRAMES_VARYING, FRAMES_NONE = 0, 1, 2, 3
FW_STATUS, FW_SILENT, FW_BAD_ECHO, FW_STALE, FW_FOREIGN, FW_CORRUPT = 1, 2, 3, 4, 5, 6
FW_UNPLUG = 7
ANY = -1


def _ok(result: int, what: str) -> int:
    if result < 0:
        raise ValueError(f"{what}: the rig knows no such device or name")
    return result


def enable(on: bool = True) -> None:
    """Routes the library to the rig (True) or to the attached cameras (False;
    where the library has no hardware backend the rig stays)."""
    _lib.lib().qelsim_enable(int(on))


def enabled() -> bool:
    """Whether the library is using the rig."""
    return bool(_lib.lib().qelsim_enabled())


def reset(populate: bool = True) -> None:
    """Removes every device, fault and log entry; with populate, adds the default
    population (Screen Capture, QEL5 0x0000ABCD, QEL2 0x00C0FFEE, a webcam)."""
    _lib.lib().qelsim_reset(int(populate))


def add_camera(name: str = "QEL5", serial: int = 0x1234) -> int:
    """Adds a camera of the family; returns its device id."""
    return _ok(_lib.lib().qelsim_add_camera(name.encode(), serial), "add_camera")


def add_webcam(name: str = "Webcam") -> int:
    return _ok(_lib.lib().qelsim_add_webcam(name.encode()), "add_webcam")


def add_software_source(name: str = "Software source") -> int:
    return _ok(_lib.lib().qelsim_add_software_source(name.encode()), "add_software_source")


def remove_device(device: int) -> None:
    """Unplugs a device."""
    _ok(_lib.lib().qelsim_remove_device(device), "remove_device")


def device_ids() -> List[int]:
    """The ids of the enumerated devices, in enumeration order."""
    lib = _lib.lib()
    return [lib.qelsim_device_id(i) for i in range(lib.qelsim_device_count())]


def _listed(device: int) -> bool:
    # The library lists plug-and-play devices only, in enumeration order.
    text = ctypes.create_string_buffer(1024)
    _ok(_lib.lib().qelsim_get_display_name(device, text, len(text)), "display name")
    return b"@device:pnp" in text.value


def listed_ids() -> List[int]:
    """The ids of the devices the library lists, in listing order: the device
    at listing position (key) n has id ``listed_ids()[n]``."""
    return [device for device in device_ids() if _listed(device)]


def position(device: int) -> Optional[int]:
    """The listing position (the key Camera.open takes) of a device id; None
    for a device the library does not list (a software source)."""
    _listed(device)  # refuses an id the rig does not know
    ids = listed_ids()
    return ids.index(device) if device in ids else None


def device_at(key: int) -> int:
    """The device id at a listing position (key)."""
    ids = listed_ids()
    if not 0 <= key < len(ids):
        raise ValueError(f"device_at: no device is listed at position {key}")
    return ids[key]


def add_format(device: int, width: int, height: int, rate: float, subtype: str = "YUY2") -> None:
    """Adds a capture format (rate in frames per second)."""
    interval = int(round(10_000_000 / rate))
    _ok(_lib.lib().qelsim_add_format(device, width, height, interval, subtype.encode(), 1),
        "add_format")


def clear_formats(device: int) -> None:
    _ok(_lib.lib().qelsim_clear_formats(device), "clear_formats")


def set_frame_mode(device: int, mode: int) -> None:
    """FRAMES_PATTERN, FRAMES_EMPTY, FRAMES_VARYING or FRAMES_NONE."""
    _ok(_lib.lib().qelsim_set_frame_mode(device, mode), "set_frame_mode")


def frames_delivered(device: int) -> int:
    return _lib.lib().qelsim_frames_delivered(device)


def check_frame(frame: bytes) -> Optional[int]:
    """The frame counter of an intact test-pattern frame, None when damaged."""
    data = (ctypes.c_ubyte * len(frame)).from_buffer_copy(bytes(frame))
    counter = ctypes.c_int64()
    return counter.value if _lib.lib().qelsim_check_frame(data, len(frame), byref(counter)) \
        else None


# ---- firmware state --------------------------------------------------------------

def set_version(device: int, text: str) -> None:
    _ok(_lib.lib().qelsim_set_version(device, text.encode()), "set_version")


def set_temperature(device: int, which: int, value: int) -> None:
    _ok(_lib.lib().qelsim_set_temperature(device, which, value), "set_temperature")


def set_device_bytes(device: int, recognition: int, usb_mode: int, gpio_input: int) -> None:
    _ok(_lib.lib().qelsim_set_device_bytes(device, recognition, usb_mode, gpio_input),
        "set_device_bytes")


def set_firmware_serial(device: int, serial: int) -> None:
    _ok(_lib.lib().qelsim_set_firmware_serial(device, serial), "set_firmware_serial")


def read_memory(device: int, address: int, length: int) -> bytes:
    data = (ctypes.c_ubyte * length)()
    _ok(_lib.lib().qelsim_read_memory(device, address, data, length), "read_memory")
    return bytes(data)


def write_memory(device: int, address: int, data: bytes) -> None:
    buffer = (ctypes.c_ubyte * len(data)).from_buffer_copy(data)
    _ok(_lib.lib().qelsim_write_memory(device, address, buffer, len(data)), "write_memory")


# ---- faults ----------------------------------------------------------------------

def inject_fault(operation: str, device: int = ANY, skip: int = 0, count: int = -1) -> None:
    """Fails `count` calls (-1: all) of a platform operation after `skip` others."""
    _ok(_lib.lib().qelsim_inject_fault(device, operation.encode(), skip, count), "inject_fault")


def firmware_fault(device: int, kind: int, code: int = ANY, value: int = 1, skip: int = 0,
                   count: int = -1) -> None:
    """Makes the firmware answer requests with command code (ANY: all) wrongly (FW_*)."""
    _ok(_lib.lib().qelsim_firmware_fault(device, code, kind, value, skip, count),
        "firmware_fault")


def clear_faults() -> None:
    _lib.lib().qelsim_clear_faults()


def fault_points() -> List[str]:
    """The names inject_fault accepts."""
    lib, names = _lib.lib(), []
    while True:
        name = lib.qelsim_fault_point(len(names))
        if name is None:
            return names
        names.append(name.decode())


def faults_fired() -> int:
    return _lib.lib().qelsim_faults_fired()


# ---- request log ---------------------------------------------------------------

def log_clear() -> None:
    _lib.lib().qelsim_log_clear()


def log_reports(device: int = ANY) -> List[bytes]:
    """The HID reports written to the device since the last log_clear."""
    lib = _lib.lib()
    reports = []
    for index in range(lib.qelsim_log_report_count(device)):
        report = (ctypes.c_ubyte * 65)()
        length = lib.qelsim_log_report(device, index, report, 65)
        reports.append(bytes(report[:max(length, 0)]))
    return reports


def log_properties(device: int = ANY) -> List[Tuple[int, int, int]]:
    """The property writes (property index, value, flags) since the last log_clear."""
    lib = _lib.lib()
    result = []
    for index in range(lib.qelsim_log_property_count(device)):
        prop, value, flags = c_int(), c_int32(), c_int32()
        lib.qelsim_log_property(device, index, byref(prop), byref(value), byref(flags))
        result.append((prop.value, value.value, flags.value))
    return result


# ---- clock -----------------------------------------------------------------------

def set_virtual_time(on: bool = True) -> None:
    """Runs the rig's clock virtually: waits advance it instead of taking time."""
    _lib.lib().qelsim_set_virtual_time(int(on))


@contextmanager
def virtual_time() -> Iterator[None]:
    """The virtual clock for the duration of a with block."""
    set_virtual_time(True)
    try:
        yield
    finally:
        set_virtual_time(False)


def now_ms() -> int:
    return _lib.lib().qelsim_now_ms()


def advance_ms(ms: int) -> None:
    _lib.lib().qelsim_advance_ms(ms)


def running_streams() -> int:
    return _lib.lib().qelsim_running_streams()


def open_hid_handles() -> int:
    return _lib.lib().qelsim_open_hid_handles()


# Whoever drives the rig means the library to use it.
enable(True)
