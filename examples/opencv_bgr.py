"""A frame as a BGR array for OpenCV: saved as a PNG with a label, and its
sharpness measured (the variance of the Laplacian, a usual focus measure).
Run with QEL_PLATFORM=rig in the environment for the virtual cameras."""
import sys

import numpy as np

import qel

try:
    import cv2
except ImportError:
    print("SKIPPED: OpenCV's Python module (Debian's python3-opencv) is not installed")
    sys.exit(0)

with qel.Camera.open(0, 480, 270, 30.0, "YUY2") as cam:
    rgb = cam.grab_rgb(timeout=2.0)  # (height, width, 3) RGB
# OpenCV keeps its channels in BGR order, in memory of its own layout.
bgr = np.ascontiguousarray(np.asarray(rgb)[:, :, ::-1])
sharpness = cv2.Laplacian(cv2.cvtColor(bgr, cv2.COLOR_BGR2GRAY), cv2.CV_64F).var()
cv2.putText(bgr, f"frame {rgb.sequence}", (10, 30), cv2.FONT_HERSHEY_SIMPLEX, 0.8,
            (0, 0, 0), 2)
cv2.imwrite("opencv_frame.png", bgr)
print(f"frame {rgb.sequence}: {bgr.shape[1]}x{bgr.shape[0]} BGR, sharpness {sharpness:.1f}"
      " -> opencv_frame.png")
