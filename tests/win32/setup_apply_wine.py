#!/usr/bin/env python3
"""zq-setup.exe under wine starts zq-thrust.exe found beside it, and after a
save closes it through its window and starts it again: the panel's window
appears, its first datagram arrives, and the new panel's first message
carries the saved change. The requests are the page's own (its session,
Origin), sent without a browser.

Needs DISPLAY and WINEPREFIX (scripts/test.d/20-windows.sh sets both) and
xdotool; exits 77 (skipped) without them.

usage: setup_apply_wine.py WINE ZQ_SETUP_EXE ZQ_THRUST_EXE EXAMPLE_SETUP_INI WORKDIR"""
import json, os, re, shutil, subprocess, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import harness_kit as kit  # noqa: E402

wine, setup_exe, panel_exe, example, work = sys.argv[1:6]
if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX") or not shutil.which("xdotool"):
    print("skipped: needs DISPLAY, WINEPREFIX and xdotool")
    sys.exit(77)

# As installed: the panel beside the configurator.
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
for exe in (setup_exe, panel_exe):
    shutil.copy(exe, work)
setup_exe = os.path.join(work, os.path.basename(setup_exe))
panel_name = os.path.basename(panel_exe)
setup = os.path.join(work, "Setup.ini")
shutil.copy(example, setup)
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def panel_windows():
    out = subprocess.run(["xdotool", "search", "--name", "^ZQ - Thrust$"],
                         capture_output=True, text=True).stdout
    return out.split()


def y_segment(message):
    text = message.decode("latin-1") if message else ""
    return text.split("/87\\")[1].split("/")[0] if "/87\\" in text else None


server = subprocess.Popen([wine, setup_exe, "--setup", "Z:" + setup, "ui", "--no-browser"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="utf-8",
                          errors="replace")
port = None
try:
    line = server.stdout.readline()
    m = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", line)
    if not m:
        sys.exit("no address from zq-setup.exe: %r" % line)
    http_port = int(m.group(1))
    cookie = kit.setup_ui_exchange(http_port, m.group(2))
    origin = "http://127.0.0.1:%d" % http_port

    def post(path, body):
        answer = kit.http_request(http_port, "POST", path, cookie=cookie, origin=origin,
                                  body=json.dumps(body).encode())
        return kit.http_status(answer), json.loads(kit.http_body(answer) or b"{}")

    port = kit.PanelPort(kit.from_command(panel_name), timeout=120)
    status, answer = post("/api/panel/start", {})
    check(status == 200 and answer.get("started"), "zq-setup.exe starts the panel: %r" % answer)
    first_pid = answer.get("pid")
    windows = kit.wait_for(panel_windows, 60, step=0.2)
    check(len(windows) == 1, "its window appears: %r" % windows)
    message = port.next(60)
    check(y_segment(message) == "-1", "its first datagram arrives: %r" % message)
    answer = json.loads(kit.http_body(kit.http_request(http_port, "GET", "/api/panel",
                                                         cookie=cookie)))
    check(answer.get("running") and answer.get("pid") == first_pid,
          "the page is told the panel runs: %r" % answer.get("text"))
    status, answer = post("/api/panel/start", {})
    check(status == 409 and len(panel_windows()) == 1,
          "a second start is refused while the panel runs: %r" % answer)

    status, answer = post("/api/save", {"edits": {"Y": "0 50 55 60 65 70 75 80 85 92 50"}})
    check(status == 200 and answer.get("saved"), "the edit is saved: %r" % answer)
    status, answer = post("/api/panel/restart", {})
    check(status == 200 and "closed" in answer.get("message", ""),
          "zq-setup.exe closes the panel and starts it again: %r" % answer)
    check(answer.get("pid") not in (None, first_pid), "a new panel process: %r after %r"
          % (answer.get("pid"), first_pid))
    message = port.next(60)
    check(y_segment(message) == "-0.5", "the new panel's first message carries the saved Y curve: %r"
          % message)
    status, answer = post("/api/panel/restart", {})
    check(status == 200, "and again: %r" % answer)
    kit.wait_for(lambda: len(panel_windows()) == 1, 30, step=0.2)
    check(len(panel_windows()) == 1, "one panel runs after restarts: %r" % panel_windows())
finally:
    # The panel goes as the player's close would.
    for w in panel_windows():
        subprocess.run(["xdotool", "windowclose", w], capture_output=True)
    # And it is gone before the next check starts its own panel, which would
    # otherwise be a second copy and end at once.
    def panels():  # wine's processes name their program first
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    first = f.read().split(b"\0")[0].decode("latin-1")
            except OSError:
                continue
            if first.lower().endswith("zq-thrust.exe"):
                found.append(pid)
        return found
    if not kit.wait_for(lambda: not panels(), 10, step=0.2):
        for pid in panels():
            subprocess.run(["kill", "-9", pid], capture_output=True)
        kit.wait_for(lambda: not panels(), 10, step=0.2)
    if port is not None:
        port.close()
    server.terminate()
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
