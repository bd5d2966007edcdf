#!/usr/bin/env python3
"""One zq-check case: CASE.ini must give exactly CASE.expected (the --quiet
output) and the exit status named on its first line ("; status: N"); the
--json report must carry the same findings and status. A second line
"; run: ARGS" checks ARGS (options, another file) in place of CASE.ini.
A case saved as UTF-16 keeps its first lines readable to this script.

usage: run_check_case.py ZQ_CHECK CASE.ini [--update]
"""
import json
import os
import re
import subprocess
import sys


def main():
    zq_check, case = sys.argv[1], sys.argv[2]
    update = "--update" in sys.argv[3:]
    folder, name = os.path.split(os.path.abspath(case))
    with open(case, "rb") as f:
        raw = f.read(400)
    head = (raw.decode("utf-16-le", "replace") if b"\0" in raw else raw.decode("latin-1"))
    m = re.match(r";\s*status:\s*(\d)", head)
    if not m:
        sys.exit(f"{case}:1: the first line must be '; status: N'")
    want_status = int(m.group(1))
    run = re.search(r"^;\s*run:\s*(.*?)\s*$", "\n".join(head.splitlines()[1:2]), re.M)
    args = run.group(1).split() if run else [name]
    shown = args[-1]

    # run from the case's folder so that the file name in the output is stable;
    # without a display, so that the screen is the default one
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    text = subprocess.run([zq_check, "--quiet"] + args, cwd=folder, capture_output=True, env=env)
    out = text.stdout.decode("latin-1")
    expected_path = os.path.join(folder, name[:-4] + ".expected")
    if update:
        with open(expected_path, "w", encoding="latin-1", newline="\n") as f:
            f.write(out)
    with open(expected_path, encoding="latin-1", newline="\n") as f:
        expected = f.read()

    failures = []
    if text.returncode != want_status:
        failures.append(f"exit status {text.returncode}, expected {want_status}")
    if out != expected:
        failures.append("output differs:\n--- expected\n" + expected + "--- got\n" + out)
    if text.stderr:
        failures.append("unexpected standard error: " + text.stderr.decode("latin-1"))

    js = subprocess.run([zq_check, "--json"] + args, cwd=folder, capture_output=True, env=env)
    report = json.loads(js.stdout.decode("utf-8"))
    if js.returncode != text.returncode or report["status"] != text.returncode:
        failures.append(f"--json status {report['status']} / exit {js.returncode}")
    lines = []
    for d in report["diagnostics"]:
        where = shown + (f":{d['line']}" if d["line"] is not None else "")
        lines.append(f"{where}: {d['severity']}: {d['message']}")
    text_findings = out.splitlines()[:-1]  # all but the summary
    if lines != text_findings:
        failures.append("--json findings differ from the text:\n" + "\n".join(lines))

    if failures:
        print(f"{case}:", *failures, sep="\n")
        sys.exit(1)


if __name__ == "__main__":
    main()
