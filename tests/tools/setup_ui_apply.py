#!/usr/bin/env python3
"""The page's "Start the panel" and "Save and restart the panel", in Chromium
under Xvfb, in a network namespace of its own (only `lo`): the panel started
from the page shows its window and its first datagram arrives; after an edit,
"Save and restart" ends that panel, starts a new one, and the new one's first
message carries the saved change. All along another user (`nobody`) on the
same display runs a panel of their own, and squats the player's instance name
so that the player's panel takes the next one: neither is touched, and the
squatter never hears a request.

Exit status 77 (skipped) when not root or no namespace can be made.

usage: setup_ui_apply.py HARNESS ZQ_THRUST EXAMPLE_SETUP_INI WORKDIR"""
import os, shutil, socket, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import harness_kit as kit  # noqa: E402

harness, panel, example, work = sys.argv[1:5]
if os.geteuid() != 0 or not kit.enter_own_netns():
    print("skipped: needs root and a network namespace of its own")
    sys.exit(77)
import browser_kit  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

setup = browser_kit.fresh_work(work, example)
# In the build tree zq-thrust is not beside zq-setup: it is found on PATH.
os.environ["PATH"] = os.path.dirname(os.path.abspath(panel)) + os.pathsep + os.environ["PATH"]

# The stranger's things in a folder every user can reach (the build folder
# may be closed to them).
shared = tempfile.mkdtemp(prefix="zq-apply-stranger-")
os.chmod(shared, 0o777)
stranger_panel = os.path.join(shared, "zq-thrust")
shutil.copy(panel, stranger_panel)
os.chmod(stranger_panel, 0o755)
stranger_setup = os.path.join(shared, "Setup.ini")
shutil.copy(example, stranger_setup)
os.chmod(stranger_setup, 0o644)
heard = os.path.join(shared, "heard")

# Binds the player's (root's) instance name and keeps every byte it is sent.
SQUATTER = r"""
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind("\0" + sys.argv[1]); s.listen(16)
print("bound", flush=True)
while True:
    c, _ = s.accept(); c.settimeout(1)
    try:
        data = c.recv(100)
    except OSError:
        data = b""
    if data:
        with open(sys.argv[2], "ab") as f: f.write(data)
    c.close()
"""


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


def windows_of(pid, env):
    out = subprocess.run(["xdotool", "search", "--pid", str(pid)], env=env,
                         capture_output=True, text=True).stdout
    return out.split()


def y_segment(message):
    """The Y axis text of a message: the stick is missing, so it reads -100
    and the segment is minus the Y curve's last point, in hundredths."""
    text = message.decode("latin-1") if message else ""
    return text.split("/87\\")[1].split("/")[0] if "/87\\" in text else None


others = []
ours = []
started_pids = []
ui = browser_kit.Page(harness, setup, work, listen=False)
check = ui.check
try:
    with ui:
        env = ui.env
        squatter = subprocess.Popen(kit.as_user([sys.executable, "-c", SQUATTER,
                                                 "ZQ-test-joy/0/" + ui.display, heard]),
                                    stdout=subprocess.PIPE, text=True)
        others.append(squatter)
        check(squatter.stdout.readline().strip() == "bound", "the stranger squats the player's name")
        stranger = subprocess.Popen(kit.as_user([stranger_panel, "--setup", stranger_setup]),
                                    cwd=shared, env=dict(env, HOME=shared),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        others.append(stranger)
        port = kit.PanelPort(kit.from_pids(lambda: ours), lock=False)
        check(ui.until(lambda d: windows_of(stranger.pid, env), 30) is not None,
              "the stranger's panel shows its window on the player's display")
        status = ui.ask_json("/api/panel")
        check(not status["running"], "the stranger's panel is not the player's: %s" % status["text"])

        # Start the panel: its window, then its first datagram.
        ui.click("panel-start")
        check(ui.until(lambda d: "The panel started" in ui.text("message")) is not None,
              "the page says the panel started: %r" % ui.text("message"))
        first = ui.until(lambda d: ui.ask_json("/api/panel")["pid"] or None)
        ours.append(first or -1)
        started_pids.append(first or -1)
        check(first is not None and ui.until(lambda d: windows_of(first, env), 30) is not None,
              "the started panel shows its window")
        message = port.next(30)
        check(message is not None and message.startswith(b"R/87\\"),
              "its first datagram arrives: %r" % message)
        check(y_segment(message) == "-1", "with the example's Y curve it sends Y -1: %r" % message)
        check(ui.until(lambda d: setup in ui.text("panel-status")) is not None,
              "the page says which file the running panel reads: %r" % ui.text("panel-status"))

        # Edit, then "Save and restart": the old panel ends, a new one reads the change.
        ui.click("point-10")  # the Y curve's last point, 100 in the example
        ui.driver.switch_to.active_element.send_keys(Keys.CONTROL, "a")
        ui.driver.switch_to.active_element.send_keys("50", Keys.TAB)
        ui.until(lambda d: ui.find("save").is_enabled())
        ui.click("panel-restart")
        check(ui.until(lambda d: "The running panel was closed" in ui.text("message"), 30)
              is not None, "the page says the panel was closed and started: %r"
              % ui.text("message"))
        check("Y=0 50 55 60 65 70 75 80 85 92 50\n" in open(setup, encoding="latin-1").read(),
              "the edit was saved before the restart")
        check(ui.until(lambda d: not alive(first), 10) is not None, "the old panel has ended")
        second = ui.until(lambda d: (ui.ask_json("/api/panel")["pid"] or None))
        ours.append(second or -1)
        started_pids.append(second or -1)
        check(second not in (None, first), "a new panel runs: %r after %r" % (second, first))
        message = port.next(30)
        check(y_segment(message) == "-0.5",
              "the new panel's first message carries the saved Y curve: %r" % message)

        # The other user's panel and name: untouched.
        check(stranger.poll() is None and windows_of(stranger.pid, env),
              "the stranger's panel still runs, window and all")
        check(squatter.poll() is None and not os.path.exists(heard),
              "the squatter of the player's name heard nothing")
        port.close()
        ui.shot("apply")
finally:
    for p in others:
        p.kill()
        p.wait()
    for pid in started_pids:
        if pid > 0 and alive(pid):
            os.kill(pid, 9)
    shutil.rmtree(shared, ignore_errors=True)
ui.exit()
