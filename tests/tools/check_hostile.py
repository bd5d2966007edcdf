#!/usr/bin/env python3
"""zq-check on files no one should write: random bytes, a megabyte on one
line, NUL bytes, no file at all. It must never crash or hang, must say what
it found, and its --json must stay valid JSON.

usage: check_hostile.py ZQ_CHECK WORKDIR
"""
import json
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from harness_kit import expect, failures, finish  # noqa: E402


def run(zq_check, args, cwd):
    try:
        return subprocess.run([zq_check] + args, cwd=cwd, capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        failures.append(f"{args}: no answer within 60 s")
        return None


def check_file(zq_check, work, name, content, status, says):
    """Runs every output form on NAME; `says` must appear in the findings."""
    if content is not None:
        with open(os.path.join(work, name), "wb") as f:
            f.write(content)
    for args in ([name], ["--quiet", name], ["--svg", "out.svg", name]):
        r = run(zq_check, args, work)
        if r is None:
            return
        expect(r.returncode == status, f"{name} {args[:-1]}: status {r.returncode}, expected {status}")
        expect(not r.stderr, f"{name}: standard error: {r.stderr[:200]!r}")
        expect(says.encode() in r.stdout, f"{name} {args[:-1]}: does not say {says!r}")
    r = run(zq_check, ["--json", name], work)
    if r is not None:
        try:
            report = json.loads(r.stdout.decode("utf-8"))
            expect(report["status"] == status, f"{name} --json: status {report['status']}")
            expect(len(report["bindings"]) == 25, f"{name} --json: {len(report['bindings'])} bindings")
        except (ValueError, KeyError) as e:
            failures.append(f"{name} --json: not a valid report: {e}")
    import xml.etree.ElementTree as ET
    try:
        ET.parse(os.path.join(work, "out.svg"))
    except ET.ParseError as e:
        failures.append(f"{name} --svg: not well-formed: {e}")


def main():
    zq_check, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    rng = random.Random(20240601)

    # a file named on the command line that is not there is an error; one
    # that is there but cannot be read is what the panel would meet
    check_file(zq_check, work, "missing.ini", None, 2, "no such file")
    os.makedirs(os.path.join(work, "folder.ini"))
    check_file(zq_check, work, "folder.ini", None, 1, "it is a directory")
    check_file(zq_check, work, "empty.ini", b"", 1, "no section [main]")
    check_file(zq_check, work, "random.ini", bytes(rng.randrange(256) for _ in range(1 << 20)),
               1, "no section [main]")
    # random bytes inside [main]: whatever they say, the check ends with its summary
    with open(os.path.join(work, "noise.ini"), "wb") as f:
        f.write(b"[main]\n" + bytes(rng.choice(b"=[];\r\n \t\x00\xff\x1b01-xyYXZ")
                                    for _ in range(200000)))
    r = run(zq_check, ["--quiet", "noise.ini"], work)
    if r is not None:
        expect(r.returncode in (0, 1, 2), f"noise.ini: status {r.returncode}")
        expect(b"the panel" in r.stdout.splitlines()[-1], "noise.ini: no summary line")
        expect(b"\x1b" not in r.stdout and b"\x00" not in r.stdout,
               "noise.ini: control bytes reach the terminal")

    megabyte = 1 << 20
    check_file(zq_check, work, "long_value.ini", b"[main]\nY=" + b"1 " * (megabyte // 2) + b"\n",
               1, "the value has 1048575 characters; the panel reads only the first 2047")
    check_file(zq_check, work, "long_key.ini", b"[main]\n" + b"K" * megabyte + b"=1\n",
               1, "not a key the panel knows")
    check_file(zq_check, work, "long_line.ini", b"[main]\n" + b"x" * megabyte, 1, "has no '='")
    check_file(zq_check, work, "long_binding.ini", b"[main]\nchat=1 " + b"9" * 5000 + b"\n",
               2, "is not a valid integer value.")
    check_file(zq_check, work, "nul.ini",
               b"[main]\x00\nY=0 5\x000\n\x00\x00=\x00\nchat=-1 1\x0092\n",
               2, "the error box \"'1?92' is not a valid integer value.\"")

    for args, status, says in ((["--help"], 0, b"usage: zq-check"),
                               (["--version"], 0, b"zq-check "),
                               (["--bogus"], 2, b"unknown option"),
                               (["a.ini", "b.ini"], 2, b"more than one"),
                               (["--svg"], 2, b"--svg needs"),
                               (["--svg", os.path.join(work, "no", "such", "dir.svg"), "missing.ini"],
                                2, b"cannot write the SVG file")):
        r = run(zq_check, args, work)
        if r is not None:
            expect(r.returncode == status, f"{args}: status {r.returncode}, expected {status}")
            expect(says in r.stdout + r.stderr, f"{args}: does not say {says!r}")

    finish()


if __name__ == "__main__":
    main()
