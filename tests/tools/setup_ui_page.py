#!/usr/bin/env python3
"""The configurator page laid out and drawn as the player sees it, in Debian's
headless Chromium under Xvfb (browser_kit), 1024 pixels wide:

- the preview's panel against a screenshot of the real Linux panel on the
  same display, on the same Setup.ini with no stick, and again after the page
  set a pitch point to -100 (P's lines run under the timers) and saved it. The
  tolerance is none: every pixel of the 42 x 77 window has the same colour
  in both, since both are drawn by the panel's own code and font;
- no sideways scrolling at 1024 pixels; the binding grid's columns line up
  across its groups; a note under "Other values" shows while a value is being
  typed, and a WindowX off the screen is said, not just left undrawn.

usage: setup_ui_page.py HARNESS ZQ_THRUST EXAMPLE_SETUP_INI WORKDIR"""
import os, re, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

harness, panel_program, example, work = sys.argv[1:5]
setup = browser_kit.fresh_work(work, example)
# The example's joysticks moved to ids the harness's virtual stick does not
# take: both the preview and the panel run with their sticks missing.
with open(setup, encoding="latin-1") as f:
    text = f.read()
text = re.sub(r"^(?!(?:[XYZ]\d*|Trim[XYZ])=)(\w+=)([01]) ", lambda m: "%s%d " % (m.group(1), int(m.group(2)) + 6), text,
              flags=re.M)
with open(setup, "w", encoding="latin-1", newline="") as f:
    f.write(text)

ui = browser_kit.Page(harness, setup, work, width=1024, height=720, listen=False)
check = ui.check
SCALE = 4  # the preview's squares per panel pixel (web/preview.js)


def model():
    return ui.ask_json("/api/preview")


def compare_with_panel(what, ready=lambda m: True):
    """The preview's pixels, once it has run some ticks on the page's
    settings (and `ready` holds for its model), against the real panel's
    after its first tick (it rests while nothing can change)."""
    generation = ui.until(lambda d: (lambda m: m.get("tick", 0) >= 3 and m.get("picture")
                                     and ready(m) and m["generation"])(model()))
    check(generation, "%s: the preview runs and draws the panel itself" % what)
    shown = ui.until(lambda d: d.find_element(By.ID, "preview-status").get_attribute(
        "data-generation") == str(generation) and ui.canvas_pixels("preview-panel", SCALE))
    check(shown, "%s: the page shows the preview's picture, each pixel a %dx%d square"
          % (what, SCALE, SCALE))
    panel = ui.start_panel(panel_program, os.path.dirname(setup))
    check(panel.trace.wait_ticks(1, after=0, timeout=30), "%s: the panel ticks" % what)
    # The window reaches the X server when the panel next draws: look again a
    # few times before calling a difference.
    for _ in range(10):
        real = ui.window_pixels("ZQ - Thrust")
        shown = ui.canvas_pixels("preview-panel", SCALE)
        if shown == real:
            break
    ui.stop_panel(panel)
    if shown is None or real[:2] != shown[:2]:
        check(False, "%s: the preview is %s, the panel %s" % (what, shown and shown[:2], real[:2]))
        return
    w, h = real[:2]
    differ = [(i // 3 % w, i // 3 // w) for i in range(0, len(real[2]), 3)
              if real[2][i:i + 3] != shown[2][i:i + 3]]
    check(not differ, "%s: the preview's %dx%d pixels are the panel's (%d differ, first %s)"
          % (what, w, h, len(differ), differ[:5]))


def labels(m):
    return {l["name"]: l["text"] for l in m["labels"]}


def type_into(element_id, text):
    """Selects the field's text and types `text` as the player would; the
    focus stays in the field."""
    e = ui.find(element_id)
    # Centred: the sticky header must not lie over it.
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", e)
    e.click()
    e.send_keys(Keys.CONTROL, "a")
    e.send_keys(text)


with ui:
    driver = ui.driver
    compare_with_panel("no stick")
    texts = labels(model())
    check(texts["yp"] == "-100" and texts["ty"] == "-50",
          "no stick: pitch -100 and its trim -50, as the panel reads them (%s)" % texts)

    # ---- the layout at 1024 pixels ----
    sizes = driver.execute_script(
        "const e = document.documentElement; return [e.scrollWidth, e.clientWidth];")
    check(sizes[0] <= sizes[1], "no sideways scrolling at 1024 pixels (%d of %d)" % tuple(sizes))
    grid = driver.execute_script("""
        const left = (sel) => [...new Set([...document.querySelectorAll(sel)].map(
          (e) => Math.round(e.getBoundingClientRect().left)))];
        const rows = [...document.querySelectorAll('#slot-table tbody tr:not(.group)')];
        const split = rows.filter((r) => { const b = r.querySelectorAll('button');
          return b.length > 1 && b[0].getBoundingClientRect().top !== b[1].getBoundingClientRect().top; });
        return { groups: document.querySelectorAll('#slot-table tbody').length, rows: rows.length,
                 fields: left('#slot-table input.binding'), binds: left('#slot-table [id^=bind-]'),
                 clears: left('[id^=clear-]'), split: split.map((r) => r.querySelector('input').id) };""")
    check(grid["groups"] > 1 and grid["rows"] == 25 and len(grid["fields"]) == 1
          and len(grid["binds"]) == 1 and len(grid["clears"]) == 1 and not grid["split"],
          "one binding grid: the 25 fields and their buttons in the same columns across "
          "the groups, each row's buttons side by side %s" % grid)

    # ---- notes under "Other values" while the value is typed ----
    type_into("field-startflaps", "7")
    note = ui.until(lambda d: driver.execute_script(
        "return document.activeElement.id === 'field-startflaps' && "
        "document.getElementById('notes-startflaps').textContent"))
    check(note and "startflaps" in note, "a note under startflaps while 7 is typed: %r" % note)
    type_into("field-startflaps", "2")
    check(ui.until(lambda d: ui.find("notes-startflaps").text == ""),
          "the note goes as the value is typed right")
    type_into("field-WindowX", "5000")
    off = ui.until(lambda d: ui.find("screen-note").is_displayed() and ui.find("screen-note").text)
    check(off and "5000" in off and "off the screen" in off,
          "a WindowX off the screen is said, and marked at the screen's edge: %r" % off)
    type_into("field-WindowX", "-1")
    check(ui.until(lambda d: not ui.find("screen-note").is_displayed()),
          "the place on the screen: no note")
    type_into("point-5", "-100")
    ui.find("point-5").send_keys(Keys.TAB)
    ui.until(lambda d: not d.find_element(By.ID, "save").get_attribute("disabled"))
    ui.click("save")
    check(ui.until(lambda d: d.find_element(By.ID, "save").get_attribute("disabled")),
          "the edits are saved")
    compare_with_panel("a pitch point of -100, cut at P's foot under the timers",
                       lambda m: m["paint"]["rows"][9] == [10, 16])
ui.exit()
