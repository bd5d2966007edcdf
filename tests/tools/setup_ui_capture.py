#!/usr/bin/env python3
"""The configurator's hold on the player's work, in a headed Chromium under
Xvfb with real X key presses: the keyboard flies the preview while a window
of another program (the simulator's stand-in) has the focus, and 10 s of it
replay in zq-replay to the same messages; a Bind owns the keyboard (F5 is
bound as "F5", the page is not reloaded; Escape and Cancel cancel); a reload
with unsaved edits asks first; when zq-setup stops the page says so within
2 s and keeps the edits, and a zq-setup started again on the same file (the
same port) offers them back on its page.

usage: setup_ui_capture.py HARNESS ZQ_REPLAY EXAMPLE_SETUP_INI WORKDIR"""
import os, re, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from browser_kit import events  # noqa: E402
from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

harness, zq_replay, example, work = sys.argv[1:5]
setup = browser_kit.fresh_work(work, example)
ui = browser_kit.Page(harness, setup, work, headed=True)
check, click, shot, ask = ui.check, ui.click, ui.shot, ui.ask


def value(element_id):
    for _ in range(20):
        try:
            return ui.find(element_id).get_attribute("value")
        except StaleElementReferenceException:
            time.sleep(0.05)
    return None


def shown(element_id):
    return ui.driver.execute_script(
        "const e = document.getElementById(arguments[0]); return !!e && !e.hidden", element_id)


def preview():
    """What the page draws of the preview, asked as the page asks it."""
    return ui.ask_json("/api/preview")


with ui:
    driver = ui.driver
    port = ui.port
    # ---- The keyboard flies the preview, and 10 s of it replay ----
    # The example: Ctrl+T routes the roll and yaw trims into their axes, the
    # chat key (`) shows "Чат" until Escape, Ctrl+P puts back the start values.
    with ui.elsewhere():
        ask("/api/preview/events")
        click("preview-record")
        ui.until(lambda d: preview()["recording"]["state"] == "recording", poll=0.05)

        def sent_after(tick):
            """The preview's first message after `tick`, once there is one."""
            return lambda d: next((m["text"] for m in preview()["sends"] if m["tick"] > tick), None)

        def shows(text, yes=True):
            return lambda d: any(text in l["text"] for l in preview()["labels"]) == yes

        def ticks_on(n):
            tick = preview()["tick"]
            return lambda d: preview()["tick"] >= tick + n

        routed = ui.hold("ctrl+t", sent_after(preview()["tick"]))
        check(routed is not None and "\\0" in routed,
              "Ctrl+T held reaches the preview: the trim-routing send %r" % routed)
        check(ui.hold("grave", shows("Чат")) is not None,
              "the chat key reaches the preview: \"Чат\"")
        ui.hold("Escape", shows("Чат", False))
        ui.hold("ctrl+y", sent_after(preview()["tick"]))
        ui.hold("ctrl+p", ticks_on(2))
        ui.until(ticks_on(2), poll=0.05)
        ui.until(lambda d: preview()["recording"]["state"] == "done", 30)
    recording = ask("/api/preview/recording")
    seen = events(ask("/api/preview/events"))
    start = next(i for i, e in enumerate(seen) if e["tick"] == 0)
    recorded = [e for e in seen[start:] if e["tick"] <= 200]
    script = os.path.join(work, "keys.script")
    with open(script, "w") as f:
        f.write(recording)
    played = subprocess.run([zq_replay, "--setup", setup, script], capture_output=True, text=True)
    replayed = [(e["tick"], e["data"]) for e in events(played.stdout) if e["event"] == "send"]
    previewed = [(e["tick"], e["data"]) for e in recorded if e["event"] == "send"]
    check(played.returncode == 0 and len(previewed) >= 3 and replayed == previewed,
          "the 10 s key recording replays to the preview's %d messages (%d)"
          % (len(previewed), len(replayed)))
    check(all(("key %d 128" % vk) in recording and ("key %d 0" % vk) in recording
              for vk in (17, 84, 192, 27, 89, 80)),
          "the recording holds every key pressed and let go: Ctrl, T, `, Escape, Y, P")

    # ---- Bind owns the keyboard ----
    driver.execute_script("window.zqNotReloaded = true")
    click("bind-curvedown")
    check(ui.until(lambda d: shown("capture")) is not None, "a Bind shows that it waits, with Cancel")
    time.sleep(0.4)  # the click's own input is not the answer
    check(ui.hold("F5", lambda d: value("field-curvedown") == "-1 116") is not None,
          "F5 pressed while Bind waits is bound: %s" % value("field-curvedown"))
    check(ui.until(lambda d: ui.text("name-curvedown") == "F5") is not None,
          "the captured key is named beside its text: %r" % ui.text("name-curvedown"))
    check(driver.execute_script("return window.zqNotReloaded === true"),
          "the page was not reloaded by F5")
    check(not shown("capture"), "the waiting bar is gone once bound")

    click("bind-resetbtn")
    time.sleep(0.4)
    ui.hold("ctrl+p", lambda d: ui.text("name-resetbtn") == "Ctrl+P")
    check(ui.text("name-resetbtn") == "Ctrl+P" and "[CTRL]" in value("field-resetbtn"),
          "a chord is bound and named: %s (%s)" % (value("field-resetbtn"),
                                                   ui.text("name-resetbtn")))

    flapsup = value("field-flapsup")
    click("bind-flapsup")
    ui.until(lambda d: shown("capture"))
    time.sleep(0.4)
    check(ui.hold("Escape", lambda d: not shown("capture") and "cancelled" in ui.text("message"))
          is not None,
          "Escape cancels the Bind: %r" % ui.text("message"))
    time.sleep(0.5)
    check(value("field-flapsup") == flapsup, "Escape is not bound (%s)" % value("field-flapsup"))
    click("bind-flapsup")
    ui.until(lambda d: shown("capture"))
    click("bind-cancel")
    check(ui.until(lambda d: not shown("capture")) is not None and value("field-flapsup") == flapsup,
          "Cancel cancels the Bind")
    click("bind-flapsup")
    ui.until(lambda d: shown("capture"))
    time.sleep(0.4)
    ui.stick("button 4 1")
    named = ui.until(lambda d: re.fullmatch(r"joystick \d+ button 4", ui.text("name-flapsup")))
    ui.stick("button 4 0")
    check(named is not None, "a joystick button is named: %r" % ui.text("name-flapsup"))
    shot("capture-01-bound")

    # ---- Leaving with unsaved edits asks first ----
    check(ui.asks_before_leaving(), "a reload or close with unsaved edits asks first")

    # ---- zq-setup stops: the page says so and keeps the edits ----
    stopped = time.monotonic()
    ui.stop_server()
    banner = ui.until(lambda d: shown("gone"), 10)
    took = time.monotonic() - stopped
    check(banner is not None and took <= 2.0,
          "the page says zq-setup has stopped within 2 s (%.2f s)" % took)
    check(not ui.find("save").is_enabled(), "Save is disabled once zq-setup has stopped")
    check(value("field-curvedown") == "-1 116", "the edits stay on the page")
    shot("capture-02-gone")

    # ---- Started again on the same file: the edits are offered back ----
    ui.start_server()
    check(ui.port == port, "the same file is served on the same port (%d, %d)" % (port, ui.port))
    ui.open_in_new_tab()
    offer = ui.until(lambda d: shown("restore"))
    listed = ui.text("restore-list") if offer else ""
    check(offer is not None and "curvedown: 1 5 → -1 116" in listed and "resetbtn: 0 7 → [CTRL]" in listed,
          "the new page offers the kept edits back: %r" % listed)
    shot("capture-03-offered")
    click("restore-apply")
    check(ui.until(lambda d: value("field-curvedown") == "-1 116"
                   and d.find_element(By.ID, "save").is_enabled()) is not None,
          "applied, they are the page's unsaved edits again")
    click("save")
    ui.until(lambda d: "Saved" in ui.text("message"))
    saved = open(setup, encoding="latin-1").read()
    check("curvedown=-1 116" in saved and "resetbtn=[CTRL]" in saved, "and they save to the file")
    check(not ui.asks_before_leaving(), "a page with everything saved is left without a question")
    driver.refresh()
    ui.until(lambda d: d.find_elements(By.ID, "field-flapsdown"))
    time.sleep(0.5)
    check(not shown("restore"), "once applied they are not offered again")
    check("another tab" not in ui.text("message"),
          "the stopped page does not take the live input from the new one")

ui.exit()
