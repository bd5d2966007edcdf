#!/usr/bin/env python3
"""The examples of the README and the guides stay true: every example marked
in them is run and its output compared with the one shown.

    readme_examples.py README.md [docs/NAME.md ...] --tool zq-replay=PATH [--tool NAME=PATH ...]

A marked example reads

    <!-- example: zq-replay --screen 1920x1080 -->
    (a code block: what the command reads on standard input)
    (some prose)
    (a code block: what it prints)

The command runs in an empty folder (no Setup.ini). Its standard output must
equal the second block; a last line "..." there means the output may go on
after the lines shown.
"""
import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile

MARK = re.compile(r"^<!-- example: (.+?) -->\s*$")


def code_blocks(lines, start):
    """(block text lines, index after the block) for each code block from
    `start`: indented by four spaces, or fenced with ```."""
    i = start
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            j = i + 1
            while j < len(lines) and not lines[j].startswith("```"):
                j += 1
            yield lines[i + 1:j], j + 1
            i = j + 1
        elif line.startswith("    ") and (i == start or not lines[i - 1].strip()):
            j = i
            while j < len(lines) and (lines[j].startswith("    ") or not lines[j].strip()):
                j += 1
            block = [l[4:] for l in lines[i:j]]
            while block and not block[-1].strip():
                block.pop()
            yield block, j
            i = j
        else:
            i += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pages", nargs="+", metavar="PAGE")
    parser.add_argument("--tool", action="append", default=[])
    args = parser.parse_args()
    tools = {k: os.path.abspath(v) for k, v in (t.split("=", 1) for t in args.tool)}
    failures, count = [], 0
    for page in args.pages:
        count += check_page(page, tools, failures)
    if count == 0:
        failures.append("no example marked in %s" % ", ".join(args.pages))
    for f in failures:
        print("FAIL", f)
    print("%d examples, %d failed" % (count, len(failures)))
    return 1 if failures else 0


def check_page(page, tools, failures):
    """Runs the examples marked in `page`; their number."""
    with open(page, encoding="utf-8") as f:
        lines = f.read().split("\n")
    name, count = os.path.basename(page), 0
    for n, line in enumerate(lines):
        m = MARK.match(line)
        if not m:
            continue
        count += 1
        blocks = code_blocks(lines, n + 1)
        try:
            (stdin, _), (shown, _) = next(blocks), next(blocks)
        except StopIteration:
            failures.append("%s:%d: an example needs an input and an output block"
                            % (name, n + 1))
            continue
        argv = shlex.split(m.group(1))
        if argv[0] not in tools:
            failures.append("%s:%d: no --tool given for %s" % (name, n + 1, argv[0]))
            continue
        with tempfile.TemporaryDirectory() as work:
            r = subprocess.run([tools[argv[0]]] + argv[1:], cwd=work, capture_output=True,
                               input="\n".join(stdin) + "\n", text=True, timeout=60)
        got = r.stdout.split("\n")
        if got and got[-1] == "":
            got.pop()
        prefix = bool(shown) and shown[-1] == "..."
        want = shown[:-1] if prefix else shown
        same = got[:len(want)] == want if prefix else got == want
        if r.returncode != 0 or not same:
            failures.append("%s:%d: %s (status %d) printed\n  %s\nbut the page shows\n  %s"
                            % (name, n + 1, m.group(1), r.returncode,
                               "\n  ".join(got[:len(want) + 2]), "\n  ".join(shown)))
    return count


if __name__ == "__main__":
    sys.exit(main())
