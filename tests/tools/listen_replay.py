#!/usr/bin/env python3
"""zq-listen end to end: zq-replay --udp sends the command messages of a
scripted run to 127.0.0.1:21100 through the panel's own sender; zq-listen
must print each one, in order, decoded as in DIR/run.expected.

usage: listen_replay.py ZQ_LISTEN ZQ_REPLAY DIR
"""
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from listen_common import Listener, strip_time  # noqa: E402


def main():
    zq_listen, zq_replay, folder = sys.argv[1:4]
    with open(os.path.join(folder, "run.expected"), encoding="ascii") as f:
        expected = f.read().splitlines()
    # another test on this machine may hold the port for a moment: wait for it
    deadline = time.monotonic() + 60
    while True:
        try:
            listener = Listener(zq_listen, ["--count", str(len(expected)), "--timeout", "30"])
            break
        except RuntimeError as e:
            if "in use" not in str(e) or time.monotonic() > deadline:
                sys.exit(f"{e}\n(something else holds 127.0.0.1:21100: a panel or simulator?)")
            time.sleep(0.5)
    try:
        replay = subprocess.run([zq_replay, "--udp", "--setup", os.path.join(folder, "Setup.ini"),
                                 os.path.join(folder, "run.script")], capture_output=True,
                                timeout=30)
    except BaseException:
        listener.proc.kill()
        raise
    if replay.returncode != 0:
        listener.proc.kill()
        sys.exit("zq-replay failed: " + replay.stderr.decode())
    events = [json.loads(line) for line in replay.stdout.decode().splitlines()]
    sent = [e["data"] for e in events if e["event"] == "send"]
    errors = [e["text"] for e in events if e["event"] == "error"]

    status, lines, err = listener.finish()
    got = [strip_time(line) for line in lines]
    failures = []
    if errors:
        failures.append(f"the replay reported errors: {errors}")
    if status != 0:
        failures.append(f"zq-listen status {status}: {err}")
    if [g.split("  ")[0] for g in got] != sent:
        failures.append(f"raw texts differ from what zq-replay sent:\n{sent}\n{got}")
    if got != expected:
        failures.append("decoded lines differ:\n--- expected\n" + "\n".join(expected) +
                        "\n--- got\n" + "\n".join(got))
    if failures:
        print(*failures, sep="\n")
        sys.exit(1)


if __name__ == "__main__":
    main()
