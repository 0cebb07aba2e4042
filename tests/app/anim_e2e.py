#!/usr/bin/python3
"""usage: anim_e2e.py VOXWALK E2E_HELPER SOURCE_DIR

--animate and --sheet as a user runs them, without a display: every file read
back by Pillow (and ffprobe), its frames against --snapshot pictures of the
same options, its refusals, and what a refusal leaves behind (nothing)."""
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

voxwalk, helper, source = (os.path.realpath(a) for a in sys.argv[1:4])
work = tempfile.mkdtemp()
m = work + "/models"
os.environ["LIBGL_ALWAYS_SOFTWARE"] = "1"
os.environ.pop("DISPLAY", None)
os.chdir(work)


def fail(why):
    print("FAIL: " + why)
    shutil.rmtree(work, ignore_errors=True)
    sys.exit(1)


def run(args, stdout=None):
    done = subprocess.run([voxwalk] + args, stdin=subprocess.DEVNULL, stdout=stdout or subprocess.PIPE,
                          stderr=subprocess.PIPE, check=False)
    return done.returncode, (done.stdout or b"").decode(errors="replace"), done.stderr.decode(errors="replace")


def make(args):
    """Runs voxwalk, which must succeed silently."""
    status, out, err = run(args)
    if status != 0 or out or err:
        fail(f"{' '.join(args)}: status {status}: {err.strip()}{out[:200]}")


def snapshot(args, model):
    path = f"{work}/snap.png"
    make(["--snapshot", path] + args + [model])
    with Image.open(path) as image:
        return image.convert("RGBA")


def frames(path):
    """Every frame as Pillow composites it, the loop count (-1: none) and the durations in ms."""
    with Image.open(path) as image:
        pictures, durations = [], []
        for index in range(getattr(image, "n_frames", 1)):
            image.seek(index)
            durations.append(image.info.get("duration", 0))
            pictures.append(image.convert("RGBA"))
        return pictures, image.info.get("loop", -1), durations


def ffprobe_count(path, form):
    done = subprocess.run(["ffprobe", "-v", "error", "-f", form, "-count_frames", "-select_streams", "v:0",
                           "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                          capture_output=True, text=True, check=False)
    return int(done.stdout) if done.returncode == 0 and done.stdout.strip().isdigit() else -1


def psnr(got, want):
    """Of the opaque pixels, once their transparency matches (GIF: alpha 128 and above is opaque)."""
    squares = samples = 0
    for g, w in zip(got.getdata(), want.getdata()):
        if (g[3] == 255) != (w[3] >= 128):
            return -1.0
        if w[3] >= 128:
            squares += sum((g[c] - w[c]) ** 2 for c in range(3))
            samples += 3
    return math.inf if squares == 0 else 10 * math.log10(255 * 255 * samples / squares)


def green(picture):
    """Count and mean green level of the green pixels (the test block's one green side)."""
    levels = [p[1] for p in picture.getdata() if p[1] > 20 and p[1] > p[0] + 20 and p[1] > p[2] + 20]
    return len(levels), sum(levels) / max(1, len(levels))


os.makedirs(m + "/anim")
if subprocess.run([helper, "models", m], check=False).returncode != 0:
    fail("cannot make the models")

# Each animation: its options, model, frames, Pillow's loop, each frame's duration, and frames that must equal
# (APNG) or come within 40 dB of (GIF) the snapshot of the options given. Turntable step k is --angle k*360/N.
BLACK = ["--background", "#000000"]
ANIMATIONS = [
    ("keyed.png", ["--size", "96", "--fps", "10", "--loops", "3", "--view", "side"] + BLACK, "keyed.vox", 5, 3,
     [100.0] * 5, {0: ["--frame", "1"], 4: ["--frame", "5"]}),
    ("sides.png", ["--size", "96"] + BLACK, "sides.vox", 36, 0, [1000 / 30] * 36,
     {0: ["--angle", "0"], 9: ["--angle", "90"], 27: ["--angle", "270"]}),
    ("playing.png", ["--size", "64x48", "--turntable", "6", "--frames", "2-3", "--view", "iso"], "anim", 6, 0,
     [1000 / 30] * 6, {1: ["--frame", "3", "--angle", "60"], 4: ["--frame", "2", "--angle", "240"]}),
    ("clear.PNG", ["--size", "64", "--fps", "25", "--background", "transparent"], "anim.vox", 3, 0, [40.0] * 3,
     {k: ["--frame", str(k + 1)] for k in range(3)}),
    ("clear.gif", ["--size", "64", "--loops", "1", "--background", "transparent"], "anim", 3, -1,
     [30, 40, 30], {k: ["--frame", str(k + 1)] for k in range(3)}),
    ("grass.gif", ["--size", "80", "--turntable", "8", "--loops", "2"], "still.vox", 8, 1,
     [30, 40, 30, 30, 40, 30, 30, 40], {0: ["--angle", "0"], 3: ["--angle", "135"]}),
]
for name, args, model, count, loop, durations, same in ANIMATIONS:
    out = f"{work}/{name}"
    make(["--animate", out] + args + [f"{m}/{model}"])
    pictures, got_loop, got_durations = frames(out)
    if (len(pictures), got_loop) != (count, loop) or any(abs(a - b) > 1e-6 for a, b in zip(got_durations, durations)):
        fail(f"{name}: {len(pictures)} frames, loop {got_loop}, durations {got_durations}")
    gif = name.endswith(".gif")
    if ffprobe_count(out, "gif" if gif else "apng") != count:
        fail(f"{name}: ffprobe counts {ffprobe_count(out, 'gif' if gif else 'apng')} frames")
    picture_options = []  # the snapshot's share of the options
    for i in range(0, len(args), 2):
        if args[i] in ("--size", "--view", "--background"):
            picture_options += args[i:i + 2]
    for k, snapshot_args in same.items():
        want = snapshot(picture_options + snapshot_args, f"{m}/{model}")
        quality = psnr(pictures[k], want)
        if (not gif and pictures[k].tobytes() != want.tobytes()) or quality < (40 if gif else math.inf):
            fail(f"{name}: frame {k + 1} is not the snapshot {' '.join(snapshot_args)} ({quality:.1f} dB)")

# The keyframed block moves; the turntable's green side is lit on the camera's right at 0 degrees and dark on
# its left at 270, the light staying with the camera.
keyed, _, _ = frames(f"{work}/keyed.png")
if sum(a != b for a, b in zip(keyed[0].getdata(), keyed[4].getdata())) < 100:
    fail("keyed.png: the keyframed frames do not differ")
sides, _, _ = frames(f"{work}/sides.png")
(lit_count, lit), (dark_count, dark) = green(sides[0]), green(sides[27])
if min(lit_count, dark_count) < 200 or lit < 1.1 * dark:
    fail(f"sides.png: the green side is not lit then dark: {lit_count} at {lit:.0f}, {dark_count} at {dark:.0f}")
# Standard output takes an APNG.
with open(f"{work}/stdout.png", "wb") as stdout:
    status, _, err = run(["--animate", "-", "--size", "32", "--turntable", "4", f"{m}/still.vox"], stdout)
if status != 0 or len(frames(f"{work}/stdout.png")[0]) != 4:
    fail(f"--animate -: status {status}: {err}")

# A sheet: a row per direction, a column per frame, every cell the snapshot at its frame and angle; the JSON
# beside it.
make(["--sheet", f"{work}/sheet.png", "--size", "48x64", "--directions", "2", "--frames", "2-3", "--view", "front",
      "--background", "transparent", "--fps", "12", f"{m}/anim"])
with Image.open(f"{work}/sheet.png") as image:
    sheet = image.convert("RGBA") if image.mode == "RGBA" and image.size == (96, 128) else None
if sheet is None:
    fail("sheet.png: not a 96 x 128 RGBA picture")
with open(f"{work}/sheet.json", encoding="utf-8") as file:
    layout = json.load(file)
expected = {"image": "sheet.png", "cell_width": 48, "cell_height": 64, "rows": 2, "columns": 2,
            "angles": [0, 180], "frames": [2, 3], "fps": 12, "view": "front"}
if layout != expected:
    fail(f"sheet.json: {layout}")
for row, column in [(0, 0), (1, 1), (1, 0)]:
    cell = sheet.crop((48 * column, 64 * row, 48 * column + 48, 64 * row + 64))
    want = snapshot(["--size", "48x64", "--view", "front", "--background", "transparent",
                     "--frame", str(2 + column), "--angle", str(180 * row)], f"{m}/anim")
    if cell.tobytes() != want.tobytes():
        fail(f"sheet.png: cell {row}, {column} is not its snapshot")

# Refusals: one line (and the usage hint for status 2), and nothing written.
os.symlink(f"{m}/still.vox", f"{work}/model-link.png")
os.symlink(f"{m}/still.vox", f"{work}/taken.json")
os.mkdir(f"{work}/folder.png")
os.mkdir(f"{work}/blocked.json")
REFUSALS = [
    (2, "a.jpg: an animation is written as .png (APNG) or .gif", ["--animate", "a.jpg", "still.vox"]),
    (2, f"frames 2-9 asked for, but {m}/anim has 3 frames", ["--animate", "a.gif", "--frames", "2-9", "anim"]),
    (2, f"frames 2-2 asked for, but {m}/still.vox has 1 frame", ["--sheet", "s.png", "--frames", "2-2", "still.vox"]),
    (2, "give '--sheet' a file name, not '-'", ["--sheet", "-", "still.vox"]),
    (2, "would be 8192x40960 pixels, over 32767 a side", ["--sheet", "s.png", "--size", "8192", "--directions",
                                                          "5", "still.vox"]),
    (1, "model-link.png: is '" + m + "/still.vox', which is being read",
     ["--animate", f"{work}/model-link.png", "still.vox"]),
    (1, "taken.json: is '" + m + "/still.vox', which is being read", ["--sheet", f"{work}/taken.png", "still.vox"]),
    (1, "folder.png: is a folder", ["--animate", f"{work}/folder.png", "still.vox"]),
    (1, "blocked.json: is a folder", ["--sheet", f"{work}/blocked.png", "still.vox"]),
    (1, "missing.vox: No such file or directory", ["--animate", "a.png", "missing.vox"]),
]
before = sorted(os.listdir(work))
for status, text, args in REFUSALS:
    args = [f"{m}/{a}" if a in ("still.vox", "anim", "missing.vox") else a for a in args]
    got, out, err = run(args)
    lines = err.splitlines()
    if got != status or not lines or text not in lines[0] or out or len(lines) != (2 if status == 2 else 1):
        fail(f"{' '.join(args)}: status {got}: {err.strip()}")
# A full standard output: status 1, the system's reason.
with open("/dev/full", "wb") as full:
    got, _, err = run(["--animate", "-", "--size", "16", f"{m}/still.vox"], full)
if got != 1 or "No space left on device" not in err:
    fail(f"--animate - >/dev/full: status {got}: {err.strip()}")
if sorted(os.listdir(work)) != before:
    fail(f"a refused run left files: {sorted(set(os.listdir(work)) - set(before))}")
shutil.rmtree(work, ignore_errors=True)
print("all animation checks passed")
