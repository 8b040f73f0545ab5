"""Frame callbacks: their lifetime, a close from inside one, their errors."""
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import qel
from qel import sim

PACKAGE = str(Path(__file__).resolve().parents[1])

# Each camera below is left to the garbage collector or to the interpreter's
# exit with a callback installed; the process must survive both, and the
# streams must be stopped. The last line runs after qel's exit handler.
ABANDONED = """
import atexit, gc, sys, threading, time
import qel
from qel import sim
atexit.register(lambda: print("streams at exit", sim.running_streams()))
seen = threading.Event()
cam = qel.Camera.open(0, 480, 270, 30.0, "YUY2")
cam.set_frame_callback(lambda frame, info: seen.set())
seen.wait(5)
del cam
gc.collect()
time.sleep(0.1)
print("streams after drop", sim.running_streams())

swapped = threading.Event()
def second(frame, info):
    swapped.set()
def first(frame, info):
    kept.set_frame_callback(second)  # replaced from inside itself
kept = qel.Camera.open(1, 328, 204, 40.0, "YUY2")
kept.set_frame_callback(first)
swapped.wait(5)
time.sleep(0.1)
print("swapped", swapped.is_set())
"""


def test_abandoned_cameras_close_and_their_callbacks_outlive_them():
    done = subprocess.run([sys.executable, "-c", ABANDONED], capture_output=True, text=True,
                          timeout=60, env={**__import__("os").environ, "PYTHONPATH": PACKAGE})
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[:3] == ["streams after drop 0", "swapped True",
                                           "streams at exit 0"]


def _first_call(cam, action):
    """Runs action(frame, info) in the camera's first callback call; returns
    what it returned or raised."""
    outcome, called = [], threading.Event()

    def callback(frame, info):
        if not called.is_set():
            try:
                outcome.append(action(frame, info))
            except BaseException as error:
                outcome.append(error)
            called.set()

    cam.set_frame_callback(callback)
    assert called.wait(5)
    cam.set_frame_callback(None)
    return outcome[0]


def test_close_inside_the_callback_is_refused_and_keeps_the_camera(cam):
    refused = _first_call(cam, lambda frame, info: cam.close())
    assert isinstance(refused, qel.BusyError)
    assert "closed" not in repr(cam) and sim.running_streams() == 1
    cam.gain = 10  # still open and usable
    cam.close()
    assert "closed" in repr(cam) and sim.running_streams() == 0


def test_callback_frames_are_shaped_and_their_errors_reach_the_caller(cam):
    calls, failed = [], threading.Event()

    def fail_once(frame, info):
        calls.append(frame.shape)
        if len(calls) == 1:
            failed.set()
            raise RuntimeError(f"bad frame {frame.shape}")

    cam.set_frame_callback(fail_once)
    assert failed.wait(5)
    with pytest.raises(RuntimeError, match=r"bad frame \(270, 480, 2\)"):
        cam.grab()
    cam.grab()  # raised once
    calls.clear()
    failed.clear()
    cam.set_frame_callback(fail_once)
    assert failed.wait(5)
    with pytest.raises(RuntimeError):
        cam.close()  # closes, then raises what no call raised yet
    assert sim.running_streams() == 0
