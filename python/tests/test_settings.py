"""camera.settings: the library's description of each setting, and get and set by name."""
import pytest

import qel


def test_settings_describe_what_the_camera_has(cam):
    settings = cam.settings
    assert list(settings)[:4] == ["led", "gain", "xgain", "exposure"]
    assert "analog-gain" in settings and "gpio-input" not in settings
    assert len(settings) == 12 and settings.get("gpio-input") is None

    cam.digital_gain = (400, 800, 1200, 1600)
    gains = settings["digital-gain"]
    assert gains.kind == "group" and gains.value == (400, 800, 1200, 1600)
    assert (gains.minimum, gains.maximum, gains.readable, gains.writable) == (0, 4095, True, True)
    time = settings["shutter-time"]
    assert time.unit == "s" and isinstance(time.value, float) and time.value == cam.shutter_time
    assert settings["colorbar"].value is False and settings["led"].default == 0
    number = settings["camera-number"]
    assert number.kind == "choice" and number.choices == ((1, "Camera 1"), (2, "Camera 2"))
    assert settings["shutter"].maximum == cam.shutter_range[1]
    with qel.Camera.open(2) as webcam:
        assert list(webcam.settings) == ["exposure"]
        assert [s.name for s in webcam.settings.list()] == ["exposure"]


def test_settings_are_set_by_name_with_the_library_errors(cam):
    settings = cam.settings
    settings["led"] = 32
    assert cam.led == 32 and settings["led"].value == 32
    settings["colorbar"] = True
    assert cam.color_bar is True
    settings["digital-gain"] = 400  # one value for every member
    assert settings["digital-gain"].value == (400,) * 4
    settings["digital-gain"] = [400, 800, 1200, 1600]
    assert cam.digital_gain == (400, 800, 1200, 1600)

    with pytest.raises(qel.OutOfRangeError) as outside:
        settings["shutter"] = 20000
    assert isinstance(outside.value, ValueError) and outside.value.code == 3
    assert "20000 lines is outside 1..10000" in outside.value.text
    for name, value, error in [("gain", 1.5, qel.BadArgumentError),
                               ("brightness", 1, qel.BadArgumentError),
                               ("gpio-input", 1, qel.NotSupportedError),
                               ("digital-gain", (1, 2), qel.BadArgumentError)]:
        with pytest.raises(error):
            settings[name] = value
    with pytest.raises(qel.NotSupportedError):
        settings["gpio-output"]
    with pytest.raises(TypeError):
        settings["led"] = "32"
