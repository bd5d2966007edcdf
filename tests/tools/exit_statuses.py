#!/usr/bin/env python3
"""Every tool keeps the exit-status table of the README and the same
command-line habits: --help on standard output with status 0 and a usage line
that lists --help; a usage error as one line on standard error naming the bad
argument and "try ... --help", status 2; "--opt=value" as well as
"--opt value".

usage: exit_statuses.py WORKDIR TOOL=PATH...
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from harness_kit import expect, finish  # noqa: E402


def run(args, cwd, stdin=b""):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    return subprocess.run(args, cwd=cwd, input=stdin, capture_output=True, timeout=60, env=env)


def check_habits(name, path, work):
    r = run([path, "--help"], work)
    expect(r.returncode == 0, f"{name} --help: status {r.returncode}")
    expect(r.stdout.startswith(b"usage: " + name.encode()), f"{name} --help: no usage line first")
    expect(b"--help" in r.stdout.split(b"\n\n")[0], f"{name} --help: the usage line omits --help")
    expect(not r.stderr, f"{name} --help: writes to standard error")
    r = run([path, "--version"], work)
    expect(r.returncode == 0 and r.stdout.startswith(name.encode() + b" "),
           f"{name} --version: {r.returncode} {r.stdout[:40]!r}")
    for bad in (["--bogus"], ["--help=yes"], ["--version=2"]):
        r = run([path] + bad, work)
        lines = r.stderr.decode("utf-8", "replace").splitlines()
        expect(r.returncode == 2, f"{name} {bad}: status {r.returncode}, expected 2")
        expect(len(lines) == 1, f"{name} {bad}: {len(lines)} lines on standard error")
        expect(lines and bad[0] in lines[0] and f"try '{name} --help'" in lines[0],
               f"{name} {bad}: {lines[:1]}")
        expect(not r.stdout, f"{name} {bad}: writes to standard output")


def main():
    work = sys.argv[1]
    tools = dict(arg.split("=", 1) for arg in sys.argv[2:])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for name, path in tools.items():
        check_habits(name, path, work)

    with open(os.path.join(work, "clean.ini"), "w") as f:
        f.write("[main]\n" + "".join(f"{k}=-1 0\n" for k in (
            "trimbtn usetrim useYtrim trimXbtn trimZbtn fire Fire2 Fire12 chat power curveup "
            "curvedown resetbtn flapsup flapsdown Yaxis TrimAxis Xaxis Zaxis TrimXAxis TrimZAxis "
            "IncZtrim DecZtrim PowerMinus PowerPlus").split()))
    with open(os.path.join(work, "warn.ini"), "w") as f:
        f.write("[main]\nchat=Enter\n")
    with open(os.path.join(work, "error.ini"), "w") as f:
        f.write("[main]\ntrimbtn=1 x\n")

    check = tools.get("zq-check")
    if check:
        for args, status in ((["clean.ini"], 0), (["warn.ini"], 1), (["error.ini"], 2),
                             (["missing.ini"], 2), (["--screen=800x600", "clean.ini"], 0),
                             (["--screen", "800x600", "clean.ini"], 0), (["--screen=800"], 2),
                             (["--svg=-", "clean.ini"], 0), (["--", "--json"], 2)):
            r = run([check] + args, work)
            expect(r.returncode == status, f"zq-check {args}: status {r.returncode}, expected {status}")
        # a mistyped name is said first, not after pages of defaults
        r = run([check, "missing.ini"], work)
        expect(r.stdout.startswith(b"missing.ini: error: no such file")
               and len(r.stdout.splitlines()) <= 3, f"zq-check missing.ini: {r.stdout[:200]!r}")
        r = run([check, "--svg", "-", "warn.ini"], work)
        expect(r.returncode == 1 and b"<svg" in r.stdout[:300],
               f"zq-check --svg -: {r.returncode} {r.stdout[:60]!r}")

    listen = tools.get("zq-listen")
    if listen:
        for args in (["--count=x"], ["--port", "70000"], ["extra"]):
            r = run([listen] + args, work)
            expect(r.returncode == 2 and len(r.stderr.splitlines()) == 1,
                   f"zq-listen {args}: {r.returncode} {r.stderr!r}")
        r = run([listen, "--port=0", "--timeout=0"], work)
        expect(r.returncode == 0, f"zq-listen --port=0 --timeout=0: status {r.returncode}")

    replay = tools.get("zq-replay")
    if replay:
        # bound by its own contract: 0 the whole script ran, 2 a bad line or option
        r = run([replay, "--screen=800x600", "--setup=clean.ini", "-"], work, b"tick 1\n")
        expect(r.returncode == 0, f"zq-replay --opt=value: status {r.returncode} {r.stderr!r}")
        r = run([replay, "-"], work, b"bogus\n")
        expect(r.returncode == 2 and len(r.stderr.splitlines()) == 1,
               f"zq-replay malformed script: {r.returncode} {r.stderr!r}")

    # --screen reads alike in every tool that takes it: a size of whole pixels, both above 0
    for name, head, stdin in (("zq-check", [], b""), ("zq-replay", ["--setup=clean.ini"], b"tick 1\n")):
        tool = tools.get(name)
        if not tool:
            continue
        # (zq-check may warn of a panel off a tiny screen: taken is any status but 2)
        for size, taken in (("1600X900", True), ("1x1", True), ("99999x99999", True),
                            ("0x600", False), ("800x0", False), ("100000x600", False),
                            ("800x", False), ("+800x600", False), ("800*600", False)):
            tail = ["clean.ini"] if name == "zq-check" else ["-"]
            r = run([tool] + head + ["--screen", size] + tail, work, stdin)
            expect((r.returncode != 2) == taken and (name == "zq-check" or r.returncode in (0, 2)),
                   f"{name} --screen {size}: status {r.returncode} {r.stderr!r}")

    setup = tools.get("zq-setup")
    if setup:
        # options before or after the command, "--opt=value" too; 2: nothing written or bad usage
        edited = os.path.join(work, "edited.ini")
        shutil.copy(os.path.join(work, "clean.ini"), edited)
        for args, status in ((["set", "--setup=edited.ini", "--force", "Yaxis=0 1 2"], 0),
                             (["--setup", "edited.ini", "set", "Yaxis=0 1"], 0),
                             (["set", "Yaxis=0 1 2", "--setup", "edited.ini"], 2),
                             (["check", "--setup=edited.ini"], 0),
                             (["get", "--setup=edited.ini", "Yaxis"], 0),
                             (["--setup=edited.ini", "get", "nokey"], 1),
                             (["--setup=warn.ini", "check"], 1),
                             (["--setup=error.ini", "check"], 2)):
            r = run([setup] + args, work)
            expect(r.returncode == status, f"zq-setup {args}: status {r.returncode}, expected {status}"
                   f" {r.stderr!r}")
        r = run([setup, "get", "--setup", "edited.ini", "Yaxis"], work)
        expect(r.stdout == b"0 1\n", f"zq-setup get after set: {r.stdout!r}")
        # the configurator's options anywhere; a bad one is bad usage before anything is served
        for args in (["--no-browser", "--setup", "clean.ini", "--port=x"],
                     ["ui", "--port", "70000", "--setup=clean.ini", "--no-browser"],
                     ["set", "--no-browser", "Yaxis=0 1"], ["--setup"], ["--no-browser=1"]):
            r = run([setup] + args, work)
            lines = r.stderr.splitlines()
            expect(r.returncode == 2 and len(lines) == 1 and b"try 'zq-setup --help'" in r.stderr,
                   f"zq-setup {args}: {r.returncode} {r.stderr!r}")

    probe = tools.get("zq-probe")
    if probe:
        r = run([probe, "--seconds=x"], work)
        expect(r.returncode == 2, f"zq-probe --seconds=x: status {r.returncode}")

    finish()


if __name__ == "__main__":
    main()
