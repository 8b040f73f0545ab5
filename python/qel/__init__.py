"""qel: USB industrial cameras from Python, frames as numpy arrays.

    import qel
    for device in qel.devices():
        print(device.position, device.name, device.serial_text)
    with qel.Camera.open(0, 960, 540, 30.0, "YUY2") as cam:
        cam.shutter_time = 0.01
        rgb = cam.grab_rgb()
"""
from .camera import Camera, CameraInfo, Frame
from .convert import yuy2_to_rgb
from .devices import Device, Format, devices, dll_version, formats, library_version
from .errors import (BadArgumentError, BufferTooSmallError, BusyError, DeviceLostError,
                     FileError, NoCameraError, NoDeviceError, NoMemoryError, NotSupportedError,
                     OutOfRangeError, PlatformError, QelError, QelTimeoutError, RefusedError)
from .settings import Setting, Settings

__version__ = "1.4.0"
__all__ = [
    "Camera", "CameraInfo", "Frame", "Setting", "Settings", "Device", "Format", "devices", "formats",
    "library_version", "dll_version", "yuy2_to_rgb", "QelError", "NoCameraError",
    "BadArgumentError", "OutOfRangeError", "NotSupportedError", "NoDeviceError", "BusyError",
    "QelTimeoutError", "RefusedError", "PlatformError", "NoMemoryError", "BufferTooSmallError",
    "DeviceLostError", "FileError",
]
