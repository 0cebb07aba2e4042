#!/usr/bin/python3
"""Decodes an animated PNG or GIF with Pillow, for the writers' tests.

Usage: anim_frames.py ANIMATION OUTPUT

OUTPUT gets one text line, then every frame as Pillow composites it
(disposal and blending applied), as R, G, B, A bytes, top row first:
    N L W H D1 D2 ...
N frames, loop count L (-1 when the file sets none), width W, height H, and
each frame's duration in milliseconds as Pillow reads it.
Exit status 1 with a line on stderr when Pillow cannot read the file.
"""
import sys

from PIL import Image


def main(source, target):
    try:
        with Image.open(source) as image:
            count = getattr(image, "n_frames", 1)
            loop = image.info.get("loop", -1)
            durations, pixels = [], []
            for index in range(count):
                image.seek(index)
                durations.append(repr(float(image.info.get("duration", 0))))
                pixels.append(image.convert("RGBA").tobytes())
            width, height = image.size
    except (OSError, SyntaxError, ValueError, EOFError) as problem:
        print(f"{source}: {problem}", file=sys.stderr)
        return 1
    with open(target, "wb") as out:
        out.write(" ".join([str(count), str(loop), str(width), str(height)] + durations).encode() + b"\n")
        for frame in pixels:
            out.write(frame)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
