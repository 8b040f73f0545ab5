"""An open camera: opening, frames, settings, information, firmware."""
import ctypes
import threading

import numpy as np
import pytest

import qel
from qel import sim

QEL5, QEL2 = 1, 2  # the rig's ids of the default population (0 is a software source)


def test_open_by_position_and_serial_and_close():
    with qel.Camera.open(0, 480, 270, 30.0, "YUY2") as cam:
        assert cam.key == 0 and not cam.capture_only and sim.running_streams() == 1
        with pytest.raises(qel.BusyError):
            qel.Camera.open(0, 480, 270, 30.0)
    assert sim.running_streams() == 0
    with pytest.raises(qel.NoCameraError):
        cam.grab()
    with qel.Camera.open("QEL2#00C0FFEE", 328, 204, 40.0) as cam:
        assert cam.key == 1 and cam.serial == 0xC0FFEE
    with qel.Camera.open(2) as webcam:  # the first format of the device
        assert webcam.capture_only and webcam.stream_format()[:2] == (640, 480)
        with pytest.raises(qel.NotSupportedError):
            webcam.shutter = 5


def test_grab_shapes_metadata_and_iterator(cam):
    frame = cam.grab()
    assert frame.shape == (270, 480, 2) and frame.dtype == np.uint8 and frame.format == "YUY2"
    assert sim.check_frame(frame.tobytes()) is not None
    frames = list(cam.frames(3))
    assert [f.sequence for f in frames] == sorted({f.sequence for f in frames})
    assert frames[0].sequence > frame.sequence and frames[-1].sample_time > frame.sample_time
    assert cam.grab_rgb().shape == (270, 480, 3)
    with qel.Camera.open(1, 328, 204, 40.0, "MJPG") as mjpg:
        frame = mjpg.grab()
        assert frame.ndim == 1 and frame.dtype == np.uint8 and frame.format == "MJPG"
        with pytest.raises(ValueError):
            mjpg.grab_rgb()
    sim.set_frame_mode(QEL5, sim.FRAMES_NONE)
    try:  # a frame may have arrived just before
        cam.grab(timeout=0.1)
    except TimeoutError:
        pass
    with pytest.raises(TimeoutError):
        cam.grab(timeout=0.05)


def test_grab_grows_its_buffer_for_long_frames(cam):
    sim.set_frame_mode(QEL5, sim.FRAMES_VARYING)
    cam._receive.buffer = np.empty(16, dtype=np.uint8)
    frame = cam.grab()
    assert frame.size > 16 and sim.check_frame(frame.tobytes()) is not None


class _WaitSpy:
    """The library, with QelWaitImage noting which receive buffers are in use
    at once; the first two waits meet before either goes in."""

    def __init__(self, lib):
        self._lib, self.shared = lib, False
        self._meet, self._lock, self._busy = threading.Barrier(2), threading.Lock(), set()
        self._waits = 0

    def __getattr__(self, name):
        return getattr(self._lib, name)

    def QelWaitImage(self, key, buffer, size, info, timeout):  # noqa: N802 - the export's name
        address = ctypes.addressof(buffer.contents)
        with self._lock:
            meet, self._waits = self._waits < 2, self._waits + 1
        if meet:
            self._meet.wait(5)
        with self._lock:
            self.shared |= address in self._busy
            self._busy.add(address)
        try:
            return self._lib.QelWaitImage(key, buffer, size, info, timeout)
        finally:
            with self._lock:
                self._busy.discard(address)


def test_grabs_from_several_threads_get_whole_frames(cam):
    spy = cam._lib = _WaitSpy(cam._lib)
    torn = []

    def grab_some():
        torn.extend(f.sequence for f in cam.frames(20) if sim.check_frame(f.tobytes()) is None)

    with sim.virtual_time():
        threads = [threading.Thread(target=grab_some) for _ in range(3)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert not spy.shared and torn == []


def test_grab_time_outs_follow_the_stream_and_do_not_wrap():
    slow = sim.add_camera("QEL5", 0x51)
    sim.clear_formats(slow)
    sim.add_format(slow, 480, 270, 0.5)  # a frame each 2 s, beyond the old 1 s default
    with sim.virtual_time(), qel.Camera.open(3, 480, 270, 0.5, "YUY2") as cam:
        cam.grab()
        sim.set_frame_mode(slow, sim.FRAMES_NONE)
        start = sim.now_ms()
        with pytest.raises(qel.QelTimeoutError):
            cam.grab()
        assert sim.now_ms() - start >= 20_000  # ten frame intervals
    # 2^32 ms and 50 ms more must not become 50 ms (nor "no limit" past 2^31)
    with qel.Camera.open(0, 480, 270, 30.0, "YUY2") as cam:
        sim.set_frame_mode(QEL5, sim.FRAMES_NONE)
        _outcome(lambda: cam.grab(timeout=0))  # drops a frame that came before
        outcome = []
        waiter = threading.Thread(target=lambda: outcome.append(
            _outcome(lambda: cam.grab(timeout=(2**32 + 50) / 1000))))
        waiter.start()
        waiter.join(0.3)
        sim.set_frame_mode(QEL5, sim.FRAMES_PATTERN)
        waiter.join(5)
        assert isinstance(outcome[0], qel.Frame)
        with pytest.raises(qel.BadArgumentError):
            cam.grab(timeout=float("nan"))


def _outcome(action):
    try:
        return action()
    except Exception as error:  # noqa: BLE001 - the test looks at what it was
        return error


def test_rgb_conversion_of_known_colours():
    # pairs of pixels: white, black, red, (Y0=81, Y1=145 with the chroma of red/green mixed)
    yuy2 = np.array([[[235, 128], [235, 128], [16, 128], [16, 128], [81, 90], [81, 240]]],
                    dtype=np.uint8)
    rgb = qel.yuy2_to_rgb(yuy2)
    assert rgb.tolist()[0][:4] == [[255, 255, 255]] * 2 + [[0, 0, 0]] * 2
    assert np.abs(rgb[0, 4].astype(int) - [255, 0, 0]).max() <= 2
    assert np.abs(rgb[0, 5].astype(int) - [255, 0, 0]).max() <= 2
    # chroma is shared by a pair: U from the first pixel, V from the second
    pair = qel.yuy2_to_rgb(np.array([[[128, 128], [128, 200]]], dtype=np.uint8))
    assert (pair[0, 0] == pair[0, 1]).all() and pair[0, 0, 0] > pair[0, 0, 2]
    with pytest.raises(ValueError):
        qel.yuy2_to_rgb(np.zeros((2, 3, 2), np.uint8))


def test_settings_round_trip_and_ranges(cam):
    cam.shutter, cam.shutter_time, cam.gain, cam.analog_gain = 100, 0.01, 120, 7
    cam.digital_gain, cam.exposure, cam.led, cam.camera_number = (1000, 2000, 3000, 400), -5, 32, 2
    cam.color_bar, cam.defect_correction = True, True
    assert (cam.shutter, cam.gain, cam.analog_gain, cam.digital_gain) == (100, 120, 7, (1000, 2000, 3000, 400))
    assert (cam.exposure, cam.led, cam.camera_number, cam.color_bar) == (-5, 32, 2, True)
    assert cam.defect_correction and abs(cam.shutter_time - 0.01) < 0.001
    low, high = cam.raw_gain_range
    cam.raw_gain = high
    assert cam.raw_gain == high
    sim.log_clear()
    for name, value, accepted in [("shutter", cam.shutter_range[1] + 1, "1.."),
                                  ("shutter_time", 2.0, "0.0001..1.0"), ("gain", 241, "0..240"),
                                  ("analog_gain", 16, "0..15"), ("digital_gain", 4096, "0..4095"),
                                  ("exposure", 1, "-13..0"), ("led", 65, "0..64"),
                                  ("camera_number", 3, "1..2"), ("raw_gain", high + 1, "..")]:
        with pytest.raises(qel.OutOfRangeError, match=accepted) as error:
            setattr(cam, name, value)
        assert isinstance(error.value, ValueError) and error.value.code == 3
    assert sim.log_reports(sim.ANY) == [] and sim.log_properties() == []  # nothing reached it
    # a value the Python side lets through and the library refuses: the library's class
    with pytest.raises(qel.QelError) as error:
        cam._call("QelSetGain", 500)
    assert error.value.code != 0 and error.value.text.startswith("QelSetGain")


def test_info_registers_defects_and_gpio(cam):
    sim.set_version(QEL5, "FW 9.99")
    sim.set_temperature(QEL5, 2, 77)
    sim.set_device_bytes(QEL5, 0x12, 3, 0xA5)
    info = cam.info()
    assert (info.firmware_version, info.temperatures[1], info.serial) == ("FW 9.99", 77, 0xABCD)
    assert (info.usb_mode, info.recognition) == (3, 0x12)
    cam.set_register(0x10, 0xAB)
    cam.set_register(0x20, 0xBEEF, wide=True)
    assert (cam.get_register(0x10), cam.get_register(0x20, wide=True)) == (0xAB, 0xBEEF)
    with pytest.raises(ValueError):
        cam.set_register(0x10, 0x100)
    points = [(1, 2), (300, 400), (0, 0)]
    cam.set_defects(2, 1, points)
    assert cam.get_defects(2, 1) == points and cam.get_defects(1, 0) == []
    with pytest.raises(ValueError):
        cam.set_defects(1, 0, [(1, 1)] * 21)
    with pytest.raises(ValueError):
        cam.get_defects(3, 0)
    sim.set_device_bytes(sim.add_camera("QEL", 0x42), 0, 0, 0xA5)  # GPIO is a QEL's
    with qel.Camera.open(3, 328, 204, 40.0) as gpio:
        gpio.set_gpio_direction(0x0F)
        gpio.set_gpio_output(0x05)
        assert gpio.gpio_input == 0xA5
        with pytest.raises(ValueError):
            gpio.set_gpio_output(256)


def test_firmware_rewrite_with_progress(cam, tmp_path):
    image = bytes(range(256)) * 4
    path = tmp_path / "fw.bin"
    path.write_bytes(image)
    seen = []
    cam.rewrite_firmware(path, progress=lambda *report: seen.append(report), poll=0.001)
    assert seen[-1][:2] == ("done", 100.0)
    assert all(0 <= p <= 100 for _, p, _ in seen) and {s for s, _, _ in seen} <= {
        "started", "writing", "verifying", "done"}
    assert sim.read_memory(QEL5, 0, len(image)) == image
    empty = tmp_path / "empty.bin"
    empty.write_bytes(b"")
    with pytest.raises(ValueError, match="empty"):
        cam.rewrite_firmware(empty)
    sim.firmware_fault(QEL5, sim.FW_SILENT, code=0x22)
    with sim.virtual_time(), pytest.raises(qel.QelError):
        cam.rewrite_firmware(path)
