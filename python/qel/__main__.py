"""python -m qel list | grab KEY [FILE] | info KEY"""
from __future__ import annotations

import argparse
import sys
from typing import List, Optional, Union

from . import Camera, QelError, devices, formats, image_file, library_version

# Printed as qelctl prints them: hexadecimal with this many digits.
_HEX_DIGITS = {"serial": 8, "usb_mode": 2, "recognition": 2}


def _key(text: str) -> Union[int, str]:
    return int(text) if text.lstrip("-").isdigit() else text


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m qel", description=__doc__)
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("list", help="list the devices and their formats")
    grab = commands.add_parser(
        "grab", help="grab one frame and save it as the file name's extension asks: .png "
        "(YUY2 converted), .jpg (MJPG as delivered), .raw or .yuv (the bytes), .npy (numpy)")
    grab.add_argument("device", help="listing position or serial text")
    grab.add_argument("output", nargs="?", default="frame.npy")
    grab.add_argument("--size", help="WIDTHxHEIGHT")
    grab.add_argument("--rate", type=float)
    grab.add_argument("--format")
    info = commands.add_parser("info", help="show what a camera tells about itself")
    info.add_argument("device")
    args = parser.parse_args(argv)
    try:
        if args.command == "list":
            print(f"qel {library_version()}")
            for d in devices():
                print(f"{d.position}: {d.name}" + (f"  {d.serial_text}" if d.serial_text else ""))
                for f in formats(d):
                    print(f"    {f.width}x{f.height} {f.rate_text} fps {f.format}")
        elif args.command == "grab":
            width = height = None
            if args.size:
                width, height = (int(n) for n in args.size.lower().split("x"))
            image_file.kind_of(args.output)  # a name it cannot write is refused first
            with Camera.open(_key(args.device), width, height, args.rate, args.format) as cam:
                frame = cam.grab()
            written = image_file.save(args.output, frame, frame.format)
            print(f"frame {frame.sequence}: {frame.format} {frame.shape} -> {args.output} "
                  f"({written})")
        else:
            with Camera.open(_key(args.device)) as cam:
                for name, value in vars(cam.info()).items():
                    digits = _HEX_DIGITS.get(name)
                    print(f"{name}: {f'0x{value:0{digits}X}' if digits else value}")
        return 0
    except (QelError, ValueError, OSError) as error:
        print(f"qel: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
