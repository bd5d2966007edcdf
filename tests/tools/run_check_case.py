#!/usr/bin/env python3
"""One zq-check case: CASE.ini must give exactly CASE.expected (the --quiet
output) and the exit status named on its first line ("; status: N"); the
--json report must carry the same findings and status.

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
        head = f.readline().decode("latin-1")
    m = re.match(r";\s*status:\s*(\d)", head)
    if not m:
        sys.exit(f"{case}:1: the first line must be '; status: N'")
    want_status = int(m.group(1))

    # run from the case's folder so that the file name in the output is stable
    text = subprocess.run([zq_check, "--quiet", name], cwd=folder, capture_output=True)
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

    js = subprocess.run([zq_check, "--json", name], cwd=folder, capture_output=True)
    report = json.loads(js.stdout.decode("utf-8"))
    if js.returncode != text.returncode or report["status"] != text.returncode:
        failures.append(f"--json status {report['status']} / exit {js.returncode}")
    lines = []
    for d in report["diagnostics"]:
        where = name + (f":{d['line']}" if d["line"] is not None else "")
        lines.append(f"{where}: {d['severity']}: {d['message']}")
    text_findings = out.splitlines()[:-1]  # all but the summary
    if lines != text_findings:
        failures.append("--json findings differ from the text:\n" + "\n".join(lines))

    if failures:
        print(f"{case}:", *failures, sep="\n")
        sys.exit(1)


if __name__ == "__main__":
    main()
