#!/usr/bin/env python3
"""zq-probe.exe under wine (no joystick there): it starts, says that no
joystick answers, watches for the time asked and ends with status 0; /? is
its --help; a usage error is one line and status 2.

usage: probe_under_wine.py WINE ZQ_PROBE_EXE
"""
import subprocess
import sys
import tempfile


def run(args):
    # Into files, not pipes: a wine service the run happens to start (the
    # joystick bus, on the first look for sticks) lives on with the pipes it
    # inherited, and a read to their end would wait for it.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        r = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=150)
        out.seek(0)
        err.seek(0)
        return r.returncode, out.read().decode("latin-1").replace("\r\n", "\n"), err.read()


def main():
    wine, probe = sys.argv[1], sys.argv[2]
    failures = []
    status, out, _ = run([wine, probe, "--seconds=1"])
    if status != 0:
        failures.append(f"--seconds=1: status {status}")
    if "No joystick answers (ids 0 to 15)." not in out or "Watching keys" not in out:
        failures.append(f"--seconds=1 printed: {out!r}")
    for helpArg in ("--help", "/?"):
        status, out, _ = run([wine, probe, helpArg])
        if status != 0 or not out.startswith("usage: zq-probe"):
            failures.append(f"{helpArg}: status {status}, {out[:60]!r}")
    status, out, err = run([wine, probe, "--seconds", "x"])
    err_lines = [l for l in err.decode("latin-1").splitlines() if l.startswith("zq-probe:")]
    if status != 2 or len(err_lines) != 1 or "try 'zq-probe --help'" not in err_lines[0]:
        failures.append(f"--seconds x: status {status}, {err!r}")
    if failures:
        print(*failures, sep="\n")
        sys.exit(1)


if __name__ == "__main__":
    main()
