#!/usr/bin/env python3
"""The plot in the players' guide must be what zq-check draws for the
example today: regenerate it with
    zq-check --svg docs/players-curves.svg examples/Setup.ini
from the top of the source tree when the example or the plot changes.

usage: svg_in_docs.py ZQ_CHECK SOURCE_DIR OUT_FILE
"""
import subprocess
import sys

zq_check, source, out = sys.argv[1:4]
r = subprocess.run([zq_check, "--quiet", "--svg", out, "examples/Setup.ini"], cwd=source,
                   capture_output=True)
if r.returncode != 0:
    sys.exit(f"zq-check examples/Setup.ini: status {r.returncode}\n{r.stdout.decode()}")
with open(out, "rb") as f:
    drawn = f.read()
with open(f"{source}/docs/players-curves.svg", "rb") as f:
    committed = f.read()
if drawn != committed:
    sys.exit("docs/players-curves.svg is not what zq-check draws for examples/Setup.ini")
