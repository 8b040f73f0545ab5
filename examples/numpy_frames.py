"""Frames as numpy arrays: the mean brightness of ten frames at two gains,
and the noise from frame to frame. Run with QEL_PLATFORM=rig in the
environment for the virtual cameras."""
import numpy as np

import qel

with qel.Camera.open(0, 480, 270, 30.0, "YUY2") as cam:
    for gain in (0, 240):
        cam.settings["gain"] = gain
        cam.grab(timeout=2.0)  # a frame taken before the change may still be queued
        # A YUY2 frame is a (height, width, 2) uint8 array; [..., 0] is the luma.
        luma = np.stack([np.asarray(f)[:, :, 0] for f in cam.frames(10, timeout=2.0)])
        means = luma.reshape(len(luma), -1).mean(axis=1)
        noise = luma.astype(np.float32).std(axis=0).mean()
        print(f"gain {gain:3}: mean luma {means.mean():6.1f} "
              f"(frames {means.min():.1f}..{means.max():.1f}), noise {noise:.2f}")
