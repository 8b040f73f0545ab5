"""Grabs one frame from the first camera and saves it as grab.npy and grab.ppm.

Run with QEL_PLATFORM=rig in the environment it grabs from the virtual camera
rig instead of an attached camera.
"""
import sys

import numpy as np

import qel

with qel.Camera.open(0, 480, 270, 30.0, "YUY2") as cam:
    cam.shutter_time = 0.01
    rgb = cam.grab_rgb(timeout=2.0)
np.save("grab.npy", rgb)
with open("grab.ppm", "wb") as out:
    out.write(b"P6 %d %d 255\n" % (rgb.shape[1], rgb.shape[0]) + rgb.tobytes())
print(f"frame {rgb.sequence} ({rgb.dropped} dropped): {rgb.shape} -> grab.ppm", file=sys.stderr)
