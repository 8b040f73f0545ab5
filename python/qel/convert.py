"""Pixel conversions, vectorised with numpy."""
from __future__ import annotations

import numpy as np


def yuy2_to_rgb(frame: np.ndarray) -> np.ndarray:
    """Converts a (height, width, 2) YUY2 frame to (height, width, 3) RGB, uint8.

    YUY2 stores Y0 U Y1 V for each pair of pixels; the pair shares U and V.
    The conversion is BT.601 with studio range (Y 16..235, U and V 16..240),
    as video-class cameras deliver it.
    """
    if frame.ndim != 3 or frame.shape[2] != 2 or frame.shape[1] % 2:
        raise ValueError(f"expected a (height, even width, 2) YUY2 array, got {frame.shape}")
    y = frame[:, :, 0].astype(np.float32) - 16.0
    chroma = frame[:, :, 1].astype(np.float32) - 128.0
    u = np.repeat(chroma[:, 0::2], 2, axis=1)
    v = np.repeat(chroma[:, 1::2], 2, axis=1)
    y *= 1.164383
    rgb = np.empty(frame.shape[:2] + (3,), dtype=np.float32)
    rgb[:, :, 0] = y + 1.596027 * v
    rgb[:, :, 1] = y - 0.391762 * u - 0.812968 * v
    rgb[:, :, 2] = y + 2.017232 * u
    return np.clip(np.rint(rgb), 0, 255).astype(np.uint8)
