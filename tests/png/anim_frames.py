#!/usr/bin/python3
"""Decodes an animated PNG or GIF with Pillow, for the writers' tests.

Usage: anim_frames.py ANIMATION OUTPUT

OUTPUT gets two text lines, then every frame as Pillow composites it
(disposal and blending applied), as R, G, B, A bytes, top row first:
    frames N loop L width W height H     (L is -1 when the file sets none)
    durations D1 D2 ...                  (milliseconds, as Pillow reads them)
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
        out.write(f"frames {count} loop {loop} width {width} height {height}\n".encode())
        out.write(("durations " + " ".join(durations) + "\n").encode())
        for frame in pixels:
            out.write(frame)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
