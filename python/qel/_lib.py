"""Loading the native library and declaring every export's signature.

One table, ``SIGNATURES``, gives the result and argument types of every
function of qel.h and qelsim.h. Without it ctypes cuts 64-bit pointers to
ints and reads a one-byte QelBool as a whole register.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from ctypes import (POINTER, c_char_p, c_double, c_float, c_int, c_int32, c_int64, c_ubyte,
                    c_uint8, c_uint16, c_uint32, c_uint64, c_void_p)
from pathlib import Path
from typing import Dict, List, Optional, Tuple

WINDOWS = sys.platform == "win32"

QelBool = c_ubyte
_bytes = POINTER(c_ubyte)


FORMAT_NAME_SIZE = 16  # QEL_FORMAT_NAME_SIZE


class QelDefectPoint(ctypes.Structure):
    _fields_ = [("x", c_uint16), ("y", c_uint16)]


class QelFrameInfo(ctypes.Structure):
    _fields_ = [("size", c_uint32), ("width", c_int32), ("height", c_int32),
                ("format", ctypes.c_char * 8), ("bytes", c_int32), ("sampleTime", c_double),
                ("sequence", c_uint64), ("dropped", c_uint64),
                ("formatName", ctypes.c_char * FORMAT_NAME_SIZE)]


class QelFormat(ctypes.Structure):
    _fields_ = [("width", c_int32), ("height", c_int32), ("frameRate", c_double),
                ("format", ctypes.c_char * 8)]


class QelFormatEx(ctypes.Structure):
    _fields_ = [("width", c_int32), ("height", c_int32), ("frameRate", c_double),
                ("frameInterval", c_int64), ("format", ctypes.c_char * FORMAT_NAME_SIZE)]


SETTING_NAME_SIZE, SETTING_LABEL_SIZE, SETTING_UNIT_SIZE = 32, 48, 16
SETTING_MAX_VALUES, SETTING_MAX_CHOICES, SETTING_CHOICE_LABEL_SIZE = 4, 8, 24


class QelSettingChoice(ctypes.Structure):
    _fields_ = [("value", c_double), ("label", ctypes.c_char * SETTING_CHOICE_LABEL_SIZE)]


class QelSetting(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char * SETTING_NAME_SIZE),
                ("label", ctypes.c_char * SETTING_LABEL_SIZE),
                ("unit", ctypes.c_char * SETTING_UNIT_SIZE),
                ("call", ctypes.c_char * SETTING_LABEL_SIZE),
                ("kind", c_int32), ("access", c_int32), ("flags", c_uint32),
                ("valueCount", c_int32), ("minimum", c_double), ("maximum", c_double),
                ("step", c_double), ("defaultValue", c_double),
                ("value", c_double * SETTING_MAX_VALUES), ("choiceCount", c_int32),
                ("choices", QelSettingChoice * SETTING_MAX_CHOICES)]


_FUNCTYPE = ctypes.WINFUNCTYPE if WINDOWS else ctypes.CFUNCTYPE  # type: ignore[attr-defined]
FrameCallback = _FUNCTYPE(None, c_int32, _bytes, POINTER(QelFrameInfo), c_void_p)

_i32p, _u16p, _u8p, _u32p, _dp = (POINTER(c_int32), POINTER(c_uint16), POINTER(c_uint8),
                                  POINTER(c_uint32), POINTER(c_double))
_ip = POINTER(c_int)
_k = c_int32  # a camera key
_gains = [_k, _u16p, _u16p, _u16p, _u16p]

# name: (restype, argtypes)
SIGNATURES: Dict[str, Tuple[object, List[object]]] = {
    # qel.h, classic
    "QelDLLVersion": (QelBool, [c_char_p, c_int32]),
    "QelOpen": (c_int32, [_k, c_int32, c_int32, c_double, c_char_p]),
    "QelClose": (None, [_k]),
    "QelOpenSerialNo": (c_int32, [c_char_p, _i32p, c_int32, c_int32, c_double]),
    "QelGetDevice": (c_int32, [c_char_p, c_int32]),
    "QelGetDeviceWithSerialNo": (c_int32, [c_char_p, c_int32]),
    "QelReceiveImage": (QelBool, [_k, _bytes]),
    "QelGetBufferSize": (c_int32, [_k]),
    "QelGetFormat": (QelBool, [c_int32, c_char_p, c_int32]),
    "QelSetDigitalGain": (QelBool, [_k, c_int32, c_int32, c_int32, c_int32]),
    "QelGetDigitalGain": (QelBool, _gains),
    "QelXSetDigitalGain": (QelBool, [_k, c_int32, c_int32, c_int32, c_int32]),
    "QelXGetDigitalGain": (QelBool, _gains),
    "QelXGetDigitalGainMax": (QelBool, _gains),
    "QelXGetDigitalGainMin": (QelBool, _gains),
    "QelSetShutter": (QelBool, [_k, c_int32]),
    "QelGetShutter": (QelBool, [_k, _u16p]),
    "QelGetShutterMax": (QelBool, [_k, _u16p]),
    "QelGetShutterMin": (QelBool, [_k, _u16p]),
    "QelSetShutterTime": (QelBool, [_k, c_double]),
    "QelGetShutterTime": (QelBool, [_k, _dp]),
    "Qel5SetAnalogGain": (QelBool, [_k, c_uint32]),
    "Qel5GetAnalogGain": (QelBool, [_k, _i32p]),
    "QelSetRegister": (QelBool, [_k, c_int32, c_int32]),
    "QelGetRegister": (QelBool, [_k, c_int32, _u8p]),
    "QelSetRegisterW": (QelBool, [_k, c_int32, c_int32]),
    "QelGetRegisterW": (QelBool, [_k, c_int32, _u16p]),
    "QelVersion": (QelBool, [_k, c_char_p, c_int32]),
    "QelTemperature": (QelBool, [_k, c_int32, _i32p]),
    "QelGetSerialNo": (QelBool, [_k, _u32p]),
    "QelSetSerialNo": (QelBool, [_k, c_uint32]),
    "QelSetPixelDefect": (QelBool, [_k, c_int32, c_int32, POINTER(QelDefectPoint)]),
    "QelGetPixelDefect": (QelBool, [_k, c_int32, c_int32, POINTER(QelDefectPoint)]),
    "QelSetPixelDefectOnOff": (QelBool, [_k, c_int32]),
    "QelGetPixelDefectOnOff": (QelBool, [_k, _i32p]),
    "QelCameraRecognition": (QelBool, [_k, _u8p]),
    "QelUSBMode": (QelBool, [_k, _u8p]),
    "QelGPIODirection": (QelBool, [_k, c_int32]),
    "QelGPIOOutput": (QelBool, [_k, c_int32]),
    "QelGPIOInput": (QelBool, [_k, _u8p]),
    "QelSetLed": (QelBool, [_k, c_int32]),
    "QelGetLed": (QelBool, [_k, _i32p]),
    "QelSetGain": (QelBool, [_k, c_int32]),
    "QelGetGain": (QelBool, [_k, _i32p]),
    "QelXSetGain": (QelBool, [_k, c_int32]),
    "QelXGetGain": (QelBool, [_k, _i32p]),
    "QelXGetGainMax": (QelBool, [_k, _i32p]),
    "QelXGetGainMin": (QelBool, [_k, _i32p]),
    "QelSetExposure": (QelBool, [_k, c_int32]),
    "QelGetExposure": (QelBool, [_k, _i32p]),
    "QelSetCameraNo": (QelBool, [_k, c_int32]),
    "QelGetCameraNo": (QelBool, [_k, _i32p]),
    "QelSetColorBar": (QelBool, [_k, c_int32]),
    "QelGetColorBar": (QelBool, [_k, _i32p]),
    "QelSoftRewrite": (QelBool, [_k, c_char_p]),
    "QelSoftRewriteState": (c_int32, [_k, _i32p, POINTER(c_float)]),
    # qel.h, extended
    "QelReceiveImageEx": (c_int32, [_k, _bytes, c_int32, POINTER(QelFrameInfo)]),
    "QelWaitImage": (c_int32, [_k, _bytes, c_int32, POINTER(QelFrameInfo), c_int32]),
    "QelSetFrameCallback": (QelBool, [_k, FrameCallback, c_void_p]),
    "QelGetStreamFormat": (QelBool, [_k, _i32p, _i32p, _dp, c_char_p, c_int32]),
    "QelGetFormatList": (c_int32, [c_int32, POINTER(QelFormat), c_int32]),
    "QelGetFormatListEx": (c_int32, [c_int32, POINTER(QelFormatEx), c_int32]),
    "QelNominalFrameRate": (QelBool, [c_int64, _i32p, _i32p, c_char_p, c_int32]),
    "QelLastErrorCode": (c_int32, []),
    "QelLastError": (c_int32, [c_char_p, c_int32]),
    "QelLibraryVersion": (None, [_i32p, _i32p, _i32p]),
    "QelOpenEx": (c_int32, [_k, c_int32, c_int32, c_double, c_char_p, c_uint32]),
    "QelOpenSerialNoEx": (c_int32, [c_char_p, _i32p, c_int32, c_int32, c_double, c_uint32]),
    "QelGetSettingList": (c_int32, [_k, POINTER(QelSetting), c_int32]),
    "QelDescribeSetting": (QelBool, [_k, c_char_p, POINTER(QelSetting)]),
    "QelGetSetting": (QelBool, [_k, c_char_p, _dp, c_int32]),
    "QelSetSetting": (QelBool, [_k, c_char_p, _dp, c_int32]),
    # qelsim.h
    "qelsim_enable": (None, [c_int]),
    "qelsim_enabled": (c_int, []),
    "qelsim_reset": (None, [c_int]),
    "qelsim_add_camera": (c_int, [c_char_p, c_uint32]),
    "qelsim_add_webcam": (c_int, [c_char_p]),
    "qelsim_add_software_source": (c_int, [c_char_p]),
    "qelsim_remove_device": (c_int, [c_int]),
    "qelsim_device_count": (c_int, []),
    "qelsim_device_id": (c_int, [c_int]),
    "qelsim_set_display_name": (c_int, [c_int, c_char_p]),
    "qelsim_get_display_name": (c_int, [c_int, c_char_p, c_int32]),
    "qelsim_clear_formats": (c_int, [c_int]),
    "qelsim_add_format": (c_int, [c_int, c_int32, c_int32, c_int64, c_char_p, c_int]),
    "qelsim_current_format": (c_int, [c_int, _i32p, _i32p, POINTER(c_int64), c_char_p, c_int32]),
    "qelsim_set_property": (c_int, [c_int, c_int, c_int, c_int32, c_int32, c_int32, c_int32,
                                    c_int32, c_int32]),
    "qelsim_get_property": (c_int, [c_int, c_int, _i32p, _i32p]),
    "qelsim_set_property_interfaces": (c_int, [c_int, c_int, c_int]),
    "qelsim_set_frame_mode": (c_int, [c_int, c_int]),
    "qelsim_frames_delivered": (c_int64, [c_int]),
    "qelsim_check_frame": (c_int, [_bytes, c_int32, POINTER(c_int64)]),
    "qelsim_fill_frame": (None, [_bytes, c_int32, c_int64]),
    "qelsim_add_hid_interface": (c_int, [c_int, c_int, c_int]),
    "qelsim_set_hid_flags": (c_int, [c_int, c_int, c_int]),
    "qelsim_set_hid_parent_id": (c_int, [c_int, c_char_p]),
    "qelsim_add_foreign_hid": (c_int, [c_char_p]),
    "qelsim_set_hid_report_lengths": (c_int, [c_int, c_int, c_int]),
    "qelsim_set_usb_serial": (c_int, [c_int, c_char_p]),
    "qelsim_set_firmware_serial": (c_int, [c_int, c_uint32]),
    "qelsim_set_version": (c_int, [c_int, c_char_p]),
    "qelsim_set_temperature": (c_int, [c_int, c_int, c_int]),
    "qelsim_set_device_bytes": (c_int, [c_int, c_int, c_int, c_int]),
    "qelsim_get_firmware_state": (c_int, [c_int, _ip, _ip, _u16p, _u16p]),
    "qelsim_get_register": (c_int, [c_int, c_int, c_int, _ip]),
    "qelsim_set_register": (c_int, [c_int, c_int, c_int, c_int]),
    "qelsim_read_memory": (c_int, [c_int, c_uint32, _bytes, c_uint32]),
    "qelsim_write_memory": (c_int, [c_int, c_uint32, _bytes, c_uint32]),
    "qelsim_inject_fault": (c_int, [c_int, c_char_p, c_int, c_int]),
    "qelsim_clear_faults": (None, []),
    "qelsim_firmware_fault": (c_int, [c_int, c_int, c_int, c_int, c_int, c_int]),
    "qelsim_hold_firmware": (c_int, [c_int, c_int, c_int]),
    "qelsim_firmware_held": (c_int, [c_int]),
    "qelsim_release_firmware": (c_int, [c_int]),
    "qelsim_log_clear": (None, []),
    "qelsim_log_report_count": (c_int, [c_int]),
    "qelsim_log_report": (c_int, [c_int, c_int, _bytes, c_int32]),
    "qelsim_log_property_count": (c_int, [c_int]),
    "qelsim_log_property": (c_int, [c_int, c_int, _ip, _i32p, _i32p]),
    "qelsim_set_virtual_time": (None, [c_int]),
    "qelsim_now_ms": (c_uint32, []),
    "qelsim_advance_ms": (None, [c_uint32]),
    "qelsim_set_tick_count": (None, [c_uint32]),
    "qelsim_com_depth": (c_int, []),
    "qelsim_com_thread_depth": (c_int, []),
    "qelsim_operation_calls": (c_int, [c_char_p]),
    "qelsim_fault_point": (c_char_p, [c_int]),
    "qelsim_faults_fired": (c_int, []),
    "qelsim_close_gate": (c_int, [c_int, c_char_p]),
    "qelsim_operation_at": (c_char_p, [c_int]),
    "qelsim_get_grabber_settings": (c_int, [c_int, _ip, _ip]),
    "qelsim_set_caps_size": (c_int, [c_int, c_int]),
    "qelsim_gate_waiting": (c_int, []),
    "qelsim_open_gates": (None, []),
    "qelsim_open_hid_handles": (c_int, []),
    "qelsim_running_streams": (c_int, []),
    "qelsim_mta_usage": (c_int, []),
}

_NAMES = ("qel.dll",) if WINDOWS else ("libqel.so.1", "libqel.so")


def _candidates() -> List[str]:
    """Where the library is looked for, in order."""
    found: List[str] = []
    explicit = os.environ.get("QEL_LIBRARY")
    if explicit:
        found.append(explicit)
    here = Path(__file__).resolve().parent
    found += [str(here / name) for name in _NAMES if (here / name).exists()]
    found += list(_NAMES)
    system = ctypes.util.find_library("qel")
    if system:
        found.append(system)
    return found


def load(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library (from path, or as _candidates says) and declares its signatures.

    QEL_LIBRARY, when set, must name a loadable library: a wrong path is an
    error rather than a silent fall-back to another copy.
    """
    loader = ctypes.WinDLL if WINDOWS else ctypes.CDLL  # type: ignore[attr-defined]
    tried: List[str] = []
    lib = None
    for candidate in ([path] if path else _candidates()):
        try:
            lib = loader(candidate)
            break
        except OSError as error:
            tried.append(f"{candidate}: {error}")
            if not path and candidate == os.environ.get("QEL_LIBRARY"):
                break
    if lib is None:
        raise OSError("the qel library was not found; set QEL_LIBRARY to its path. Tried:\n  "
                      + "\n  ".join(tried))
    for name, (restype, argtypes) in SIGNATURES.items():
        function = getattr(lib, name, None)
        if function is None:  # an older library: the Python side reports it when used
            continue
        function.restype = restype
        function.argtypes = argtypes
    return lib


_library: Optional[ctypes.CDLL] = None


def lib() -> ctypes.CDLL:
    """The process's library, loaded on first use."""
    global _library
    if _library is None:
        _library = load()
    return _library
