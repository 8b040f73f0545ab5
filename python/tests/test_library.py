"""The export table, listing, formats and the error classes."""
import re
from pathlib import Path

import pytest

import qel
from qel import _lib, sim

DEF_FILE = Path(__file__).resolve().parents[2] / "src" / "qel.def"


def test_table_covers_exactly_the_exports():
    text = DEF_FILE.read_text()
    exports = set(re.findall(r"^\s+([A-Za-z_][A-Za-z0-9_]*)\s*$",
                             text.split("EXPORTS", 1)[1], re.M))
    assert exports == set(_lib.SIGNATURES)
    library = _lib.lib()
    for name in exports:
        assert getattr(library, name).restype is _lib.SIGNATURES[name][0], name
    # A one-byte QelBool read as such: success is exactly 1.
    assert library.QelSetLed(9, 1) == 0 and library.QelDLLVersion(None, 0) == 0


def test_importing_sim_chose_the_rig():
    assert sim.enabled()


def test_devices_and_formats():
    devices = qel.devices()
    assert [(d.position, d.name, d.serial_text, d.serial, d.model) for d in devices[:2]] == [
        (0, "QEL5", "QEL5#0000ABCD", 0xABCD, "QEL5"), (1, "QEL2", "QEL2#00C0FFEE", 0xC0FFEE, "QEL2")]
    assert devices[2].serial_text is None and devices[2].model is None
    formats = qel.formats(devices[1])
    assert len(formats) == 24 and {f.format for f in formats} == {"YUY2", "MJPG"}
    assert (formats[4].width, formats[4].height, round(formats[4].rate)) == (656, 408, 120)
    sim.reset(False)
    sim.add_camera("QEL", 0x42)
    assert [d.serial_text for d in qel.devices()] == ["QEL#00000042"]
    assert qel.library_version().count(".") == 2 and "Version" in qel.dll_version()


def test_listing_positions_for_any_name_and_rig_id():
    cams = sim.add_webcam("Cam#12"), sim.add_webcam(""), sim.add_camera("QEL2", 0x1F)
    listed = qel.devices()
    assert [(d.name, d.serial_text, d.serial, d.model) for d in listed[3:]] == [
        ("Cam#12", None, None, None), ("", None, None, None),
        ("QEL2", "QEL2#0000001F", 0x1F, "QEL2")]
    # every rig id leads to its listing position, and back
    assert [sim.position(device) for device in (0, 1) + cams] == [None, 0, 3, 4, 5]
    assert [sim.device_at(d.position) for d in listed] == [1, 2, 3, *cams]
    with pytest.raises(ValueError):
        sim.device_at(len(listed))


def test_errors_carry_code_and_text():
    with pytest.raises(qel.NoDeviceError) as error:
        qel.Camera.open(7, 640, 480, 30.0, "YUY2")
    assert error.value.code == 5 and error.value.function == "QelOpenEx" and error.value.text
    with pytest.raises(qel.NoDeviceError):
        qel.Camera.open("QEL5#DEADBEEF", 480, 270, 30.0)
    with pytest.raises(qel.NoCameraError) as error:
        qel.Camera(3, False).shutter
    assert error.value.code == 1 and "QelGetShutter" in str(error.value)
    with pytest.raises(qel.NoDeviceError, match="QelGetFormatList"):
        qel.formats(9)


def test_cli(capsys, tmp_path):
    from qel.__main__ import main
    from qel.devices import nominal_rate

    assert main(["list"]) == 0
    out = capsys.readouterr().out
    assert "QEL5#0000ABCD" in out and "1920x1080 60 fps YUY2" in out  # 59.99988 as written
    assert [nominal_rate(r) for r in (1e7 / 166833, 7.5, 0.0, 1e-300, 2e7)] == [
        "59.94", "7.5", "0", "0", "0"]
    sim.set_device_bytes(1, 0x12, 3, 0)
    assert main(["info", "0"]) == 0
    out = capsys.readouterr().out  # hexadecimal, as qelctl prints them
    assert "serial: 0x0000ABCD" in out and "recognition: 0x12" in out and "usb_mode: 0x03" in out
    yuy2 = ["--size", "480x270", "--rate", "30"]
    png = tmp_path / "f.png"
    assert main(["grab", "0", str(png), *yuy2]) == 0
    data = png.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[16:24] == bytes.fromhex("000001e00000010e")
    assert [p.name for p in tmp_path.iterdir()] == ["f.png"]
    raw = tmp_path / "f.yuv"
    assert main(["grab", "0", str(raw), *yuy2]) == 0 and raw.stat().st_size == 480 * 270 * 2
    jpeg = tmp_path / "f.jpg"
    assert main(["grab", "1", str(jpeg), "--size", "328x204", "--rate", "40",
                 "--format", "MJPG"]) == 0
    assert jpeg.read_bytes()[:2] == b"\xff\xd8"
    for refused in ["g.jpg", "g.tif"]:  # YUY2 as JPEG needs an encoder; TIFF is unknown
        assert main(["grab", "0", str(tmp_path / refused), *yuy2]) == 1
        assert not (tmp_path / refused).exists()
    assert main(["grab", "9"]) == 1
