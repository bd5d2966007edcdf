#!/usr/bin/env python3
"""Draws the README's "Reading the panel" pictures from the real Linux panel.

    python3 scripts/panel_picture.py [--panel build/default/src/platform/linux/zq-thrust]

Starts the panel under its own Xvfb twice: once with a Setup.ini that binds
every slot to a key, pressing keys until flaps, throttle, a trim, a timer and
the trim routing show something; once on the built-in defaults with no
joystick (the missing-stick look). Each screenshot is enlarged six times
without smoothing and labelled. Writes docs/img/panel-reading.png and
docs/img/panel-no-stick.png. Needs Xvfb, xdotool, xwininfo, ImageMagick
and the DejaVu fonts (packages of scripts/packages/linux-panel.txt); a panel
already running for this user makes the new one end at once, so run it where
none does (for example under `unshare -n`, as the tests do).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "kit"))
from harness_kit import Failure, start_xvfb  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCALE = 6
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
# Every slot on a key of its own; VK 135 (F24) for the ones left alone.
KEYS = {"flapsdown": "F", "flapsup": "V", "PowerPlus": "U", "PowerMinus": "D",
        "fire": "G", "Fire2": "H", "IncZtrim": "Z", "DecZtrim": "X", "usetrim": "T"}
OTHERS = ("trimbtn", "useYtrim", "trimXbtn", "trimZbtn", "Fire12", "curveup",
          "curvedown", "resetbtn", "power")
AXES = ("Yaxis", "TrimAxis", "Xaxis", "Zaxis", "TrimXAxis", "TrimZAxis")

# (row top, text) of the callouts, one per row of the panel.
CALLOUTS = [
    (0, "f: flap position - убраны (up, navy), боевые (combat, green),\n"
        "    взлет (take-off, yellow), посадка (landing, red)"),
    (16, "yp: pitch (Y axis) after its curve   |   ty: pitch trim"),
    (28, "xyp: roll (X axis) after its curve   |   tx: roll trim"),
    (40, "zyp: yaw (Z axis) after its curve    |   tz: yaw trim"),
    (52, "xp: throttle, or Чат (chat), or the curve set, or trim\n"
         "    right of it: the selected set's pitch curve"),
    (64, "Label1: fire timer, s   |   Label2: Fire2 timer, s"),
]


def run(*cmd, env=None, **kw):
    return subprocess.run(list(cmd), env=env, check=True, capture_output=True, text=True, **kw)


class Display:
    def __init__(self):
        try:
            self.xvfb, display = start_xvfb("640x480x24")
        except Failure as e:
            sys.exit(str(e))
        self.env = dict(os.environ, DISPLAY=display)

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait()


def shoot(panel, setup, presses, out_png):
    d = Display()
    work = tempfile.mkdtemp(prefix="zq-picture-")
    p = None
    try:
        if setup is not None:
            with open(os.path.join(work, "Setup.ini"), "w", encoding="latin-1") as f:
                f.write(setup)
        p = subprocess.Popen([panel], cwd=work, env=d.env, stderr=subprocess.DEVNULL)
        window = None
        for _ in range(100):
            tree = run("xwininfo", "-root", "-tree", env=d.env).stdout
            m = re.search(r'^\s*(0x[0-9a-f]+) "ZQ - Thrust":', tree, re.M)
            if m:
                window = m.group(1)
                break
            if p.poll() is not None:
                sys.exit("the panel ended at once (another copy running?)")
            time.sleep(0.1)
        if window is None:
            sys.exit("no panel window")
        time.sleep(0.5)
        for key, seconds in presses:
            run("xdotool", "keydown", key, env=d.env)
            time.sleep(seconds)
            run("xdotool", "keyup", key, env=d.env)
            time.sleep(0.15)
        time.sleep(0.3)
        info = run("xwininfo", "-id", window, env=d.env).stdout
        x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1))
        y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1))
        raw = os.path.join(work, "raw.png")
        run("import", "-window", "root", "-crop", "42x77+%d+%d" % (x, y), "+repage", raw,
            env=d.env)
        run("convert", raw, "-filter", "point", "-resize", "%d%%" % (SCALE * 100), out_png)
    finally:
        if p is not None:
            p.terminate()
            p.wait()
        d.close()


def label(enlarged, out_png, callouts, title):
    """The enlarged panel on the left, a callout line per row on the right."""
    w, h = 42 * SCALE, 77 * SCALE
    left, top, text_x = 16, 40, 42 * SCALE + 16 + 36
    width, height = text_x + 560, h + top + 16
    draw = []
    for row, text in callouts:
        cy = top + (row + 6) * SCALE
        draw += ["-stroke", "#c00000", "-strokewidth", "2",
                 "-draw", "line %d,%d %d,%d" % (left + w + 2, cy, text_x - 6, cy),
                 "-stroke", "none", "-fill", "black",
                 "-annotate", "+%d+%d" % (text_x, cy + 5), text]
    run("convert", "-size", "%dx%d" % (width, height), "xc:white",
        enlarged, "-geometry", "+%d+%d" % (left, top), "-composite",
        "-font", FONT, "-pointsize", "15", "-fill", "black",
        "-annotate", "+%d+%d" % (left, 26), title, *draw, out_png)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--panel", default=os.path.join(
        ROOT, "build/default/src/platform/linux/zq-thrust"))
    parser.add_argument("--out", default=os.path.join(ROOT, "docs/img"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix="zq-picture-")

    setup = "[main]\r\n" + "".join("%s=%s\r\n" % kv for kv in KEYS.items())
    setup += "".join("%s=-1 135\r\n" % k for k in OTHERS)
    setup += "".join("%s=-1 0\r\n" % k for k in AXES)
    # Flaps down twice (take-off), some throttle, the yaw trim up three
    # steps, trim routing off for roll and yaw, the fire timer running.
    presses = [("f", 0.12), ("f", 0.12), ("u", 0.3), ("z", 0.12), ("z", 0.12), ("z", 0.12),
               ("t", 0.12), ("g", 1.2)]
    busy = os.path.join(tmp, "busy.png")
    shoot(args.panel, setup, presses, busy)
    label(busy, os.path.join(args.out, "panel-reading.png"), CALLOUTS,
          "The panel, 6x enlarged, after a few key presses")

    idle = os.path.join(tmp, "idle.png")
    shoot(args.panel, None, [], idle)
    label(idle, os.path.join(args.out, "panel-no-stick.png"), [
        (0, "убраны: flaps up, as at every start"),
        (16, "-100: pitch of a joystick that does not answer"),
        (28, "0: roll and yaw are on no joystick by default"),
        (52, "0: throttle; the default pitch curve beside it"),
        (64, "0: both fire timers, in seconds"),
    ], "Built-in defaults, no joystick connected")
    print("wrote panel-reading.png and panel-no-stick.png in " + args.out)


if __name__ == "__main__":
    main()
