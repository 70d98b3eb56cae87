#!/usr/bin/python3
"""Screen and settings checks for the Standalone window test.

  panel_check.py panel --display :N --window ID --side S --background PNG --out PNG --timeout T
      Grabs the window until the panel, drawn S x S, is found in it or the
      time runs out. Prints "dx dy width height": where the panel sits in the
      window and the window's size.

  panel_check.py ratio --file SETTINGS --expected R --timeout T
      Waits until the settings file stores sizeRatio R.

Exit status 0 on success, 1 with a message on stderr otherwise.
"""

import argparse
import os
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import numpy as np
from PIL import Image, ImageGrab

# A pixel matches the background when no channel is further off than this;
# the app's resampling and the reference's differ by a few levels only.
TOLERANCE = 24

# The controls cover part of the background; the rest must match.
MIN_MATCH = 0.75

# A panel that matches everywhere is the bare background: the controls
# were never drawn on it.
MIN_COVERED = 0.02


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def window_geometry(display, window):
    result = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                            env=dict(os.environ, DISPLAY=display),
                            capture_output=True, text=True, timeout=10)
    if result.returncode != 0:
        return None
    values = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
    return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


def match_fraction(shot, reference, dx, dy, step):
    side = reference.shape[0]
    region = shot[dy:dy + side:step, dx:dx + side:step]
    difference = np.abs(region - reference[::step, ::step])
    worst = np.maximum(np.maximum(difference[..., 0], difference[..., 1]), difference[..., 2])
    return float((worst <= TOLERANCE).mean())


def scaled(picture, side):
    return np.asarray(picture.resize((side, side), Image.LANCZOS), dtype=np.int16)


def find_panel(shot, background, side):
    """Best top-left corner for a side x side panel, its match, and the
    side (within a few pixels of the one asked for) that matches best."""
    height, width = shot.shape[:2]
    if width < side or height < side:
        return None

    # Coarse search at a quarter of the resolution, then refine.
    coarse = 4
    small_shot = np.asarray(Image.fromarray(shot.astype(np.uint8)).reduce(coarse), dtype=np.int16)
    small_side = side // coarse
    small_reference = scaled(background, small_side)
    candidates = [(match_fraction(small_shot, small_reference, x, y, 2), x, y)
                  for y in range(small_shot.shape[0] - small_side + 1)
                  for x in range(small_shot.shape[1] - small_side + 1)]
    _, cx, cy = max(candidates)

    def best_around(trial_side, x0, y0, reach):
        reference = scaled(background, trial_side)
        trials = [(match_fraction(shot, reference, x, y, 2), x, y, trial_side)
                  for y in range(max(0, y0 - reach), min(height - trial_side, y0 + reach) + 1)
                  for x in range(max(0, x0 - reach), min(width - trial_side, x0 + reach) + 1)]
        return max(trials, default=(-1.0, x0, y0, trial_side))

    best = best_around(side, cx * coarse, cy * coarse, coarse)
    for trial_side in range(side - 4, side + 5):
        if trial_side != side and trial_side <= min(width, height):
            best = max(best, best_around(trial_side, best[1], best[2], 3))
    return best


def check_panel(args):
    background = Image.open(args.background).convert("RGB")
    deadline = time.monotonic() + args.timeout
    problem = "the window never appeared"

    while True:
        geometry = window_geometry(args.display, args.window)
        if geometry is not None:
            x, y, width, height = geometry
            picture = ImageGrab.grab(bbox=(x, y, x + width, y + height), xdisplay=args.display).convert("RGB")
            picture.save(args.out)
            shot = np.asarray(picture, dtype=np.int16)
            found = find_panel(shot, background, args.side)

            if found is None:
                problem = f"the window is {width}x{height}, too small for a {args.side}x{args.side} panel"
            else:
                fraction, dx, dy, best_side = found
                covered = 1.0 - match_fraction(shot, scaled(background, best_side), dx, dy, 1)
                if fraction < MIN_MATCH:
                    problem = (f"no {args.side}x{args.side} panel in the {width}x{height} window: at best "
                               f"{fraction:.0%} of it matches the background picture")
                elif abs(best_side - args.side) > 1:
                    problem = (f"the panel in the {width}x{height} window is about {best_side}x{best_side}, "
                               f"not {args.side}x{args.side}")
                elif covered < MIN_COVERED:
                    problem = "the panel shows the bare background picture: no controls drawn on it"
                else:
                    print(f"{dx} {dy} {width} {height}")
                    print(f"panel {best_side}x{best_side} at +{dx}+{dy} in the {width}x{height} window, "
                          f"{fraction:.0%} background match", file=sys.stderr)
                    return

        if time.monotonic() >= deadline:
            fail(f"{problem} (screenshot: {args.out})")
        time.sleep(0.3)


def stored_ratio(path):
    try:
        root = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError):
        return None
    for value in root.iter("VALUE"):
        if value.get("name") == "sizeRatio":
            try:
                return float(value.get("val"))
            except (TypeError, ValueError):
                return None
    return None


def check_ratio(args):
    deadline = time.monotonic() + args.timeout
    while True:
        ratio = stored_ratio(args.file)
        if ratio is not None and abs(ratio - args.expected) < 1e-6:
            return
        if time.monotonic() >= deadline:
            fail(f"{args.file} stores sizeRatio {ratio}, expected {args.expected}")
        time.sleep(0.2)


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)

    panel = commands.add_parser("panel")
    panel.add_argument("--display", required=True)
    panel.add_argument("--window", required=True)
    panel.add_argument("--side", type=int, required=True)
    panel.add_argument("--background", required=True)
    panel.add_argument("--out", required=True)
    panel.add_argument("--timeout", type=float, required=True)

    ratio = commands.add_parser("ratio")
    ratio.add_argument("--file", required=True)
    ratio.add_argument("--expected", type=float, required=True)
    ratio.add_argument("--timeout", type=float, required=True)

    args = parser.parse_args()
    if args.command == "panel":
        check_panel(args)
    else:
        check_ratio(args)


if __name__ == "__main__":
    main()
