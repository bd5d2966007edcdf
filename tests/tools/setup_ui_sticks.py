#!/usr/bin/env python3
"""The configurator's [sticks] view in Debian's headless Chromium under Xvfb,
against zq-setup with its virtual stick (044f:b10a "zq virtual stick", serial
ZQVS0001): the stick is listed with the line that pins it; a pinned stick that
is not connected shows as missing; "Pin as id 0" is an unsaved edit that Save
writes into [sticks], every other byte as it was; and with the stick pinned,
the preview's recording names it by a device key and zq-replay plays it back
to the preview's messages.

usage: setup_ui_sticks.py HARNESS ZQ_REPLAY EXAMPLE_SETUP_INI WORKDIR"""
import os, re, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from browser_kit import events  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402

harness, zq_replay, example, work = sys.argv[1:5]
setup = browser_kit.fresh_work(work, example)
PEDALS = '3=06a3:0763 "Pedals"\n'
PIN = '0=044f:b10a "zq virtual stick" serial=ZQVS0001\n'
with open(setup, "ab") as f:
    f.write(("\n[sticks]\n" + PEDALS).encode())
original = open(setup, "rb").read()
ui = browser_kit.Page(harness, setup, work)
check, click, text = ui.check, ui.click, ui.text

with ui:
    listed = ui.until(lambda d: re.search(r"System joystick (\d+): zq virtual stick \(044f:b10a\)",
                                          text("stick-list")))
    check(listed is not None, "the virtual stick is listed with its VID:PID")
    system_id = int(listed.group(1)) if listed else 0
    check('044f:b10a "zq virtual stick" serial=ZQVS0001' in text("stick-%d" % system_id),
          "with the line that pins it by its serial")
    missing = ui.until(lambda d: "Missing" in text("pinned-3") and text("pinned-3"))
    check(missing and 'pinned to 06a3:0763 "Pedals"' in missing and "not connected" in missing,
          "the pinned pedals, not connected, show as missing: %r" % missing)
    ui.driver.execute_script("document.getElementById('sticks').scrollIntoView()")
    time.sleep(0.3)
    ui.shot("sticks-01-listed")

    # Pinned as 2, the live view (and Bind) name it 2, as the panel would.
    Select(ui.find("pin-id-%d" % system_id)).select_by_value("2")
    click("pin-%d" % system_id)
    check(ui.until(lambda d: "Joystick 2: zq virtual stick" in text("device-list")),
          "pinned as id 2, the live view names the stick by the panel's id 2")
    # Moved to 0: the pin of 2 goes.
    Select(ui.find("pin-id-%d" % system_id)).select_by_value("0")
    check(text("pin-%d" % system_id) == "Pin as id 0", "the button says which id it pins")
    click("pin-%d" % system_id)
    found = ui.until(lambda d: d.find_elements("id", "pinned-0") and text("pinned-0"))
    check(found and found.startswith("Found") and "found by serial" in found,
          "the pin finds the stick by its serial before it is saved: %r" % found)
    check(open(setup, "rb").read() == original, "the pin is an edit: the file is untouched")
    check(ui.a11y_problems() == [], "every control is named and every text has AA contrast")

    # The preview runs on the edited settings, the stick pinned: record while
    # it moves.
    ui.ask("/api/preview/events")
    click("preview-record")
    for i in range(20):
        ui.stick("axis 1 %d" % (-32768 + i * 3200))
        time.sleep(0.5)
    done = ui.until(lambda d: "Recorded" in text("preview-record-status"), timeout=30)
    check(done, "the preview recorded 10 s")
    recording = ui.ask("/api/preview/recording")
    seen = events(ui.ask("/api/preview/events"))
    start = max(i for i, e in enumerate(seen) if e["tick"] == 0)  # the run the recording began
    recorded = [e for e in seen[start:] if e["tick"] <= 200]
    check('device A 044f:b10a "zq virtual stick" serial=ZQVS0001' in recording
          and "\nattach A\n" in recording and "\njoy A 1 " in recording
          and not re.search(r"^(joy|plug) \d", recording, re.M),
          "the recording names the pinned stick by a device key")

    click("save")
    ui.until(lambda d: "Saved" in text("message"))
    now = open(setup, "rb").read()
    check(now == original + PIN.encode(),
          "Save wrote the pin at the end of [sticks], every other byte as it was")
    ui.until(lambda d: "Found" in text("pinned-0"))
    check("Found" in text("pinned-0"), "the saved pin is found")
    ui.driver.execute_script("document.getElementById('sticks').scrollIntoView()")
    time.sleep(0.3)
    ui.shot("sticks-02-pinned")

    script = os.path.join(work, "recording.script")
    with open(script, "w") as f:
        f.write(recording)
    played = subprocess.run([zq_replay, "--setup", setup, script], capture_output=True, text=True)
    replay_sends = [e["data"] for e in events(played.stdout) if e["event"] == "send"]
    preview_sends = [e["data"] for e in recorded if e["event"] == "send"]
    check(played.returncode == 0 and len(preview_sends) >= 5 and replay_sends == preview_sends,
          "zq-replay plays the recording back to the preview's %d messages (%d) %s"
          % (len(preview_sends), len(replay_sends), played.stderr.strip()))

ui.exit()
