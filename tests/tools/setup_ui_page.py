#!/usr/bin/env python3
"""The configurator page laid out and drawn as the player sees it, in Debian's
headless Chromium under Xvfb (browser_kit), 1024 pixels wide:

- the preview's panel against a screenshot of the real Linux panel on the
  same display, on the same Setup.ini with no stick, and again after the page
  changed the flaps' start value and the pitch curve and saved them. The
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

harness, panel_program, example, work = sys.argv[1:5]
setup = browser_kit.fresh_work(work, example)
# The example's joysticks moved to ids the harness's virtual stick does not
# take: both the preview and the panel run with their sticks missing.
with open(setup, encoding="latin-1") as f:
    text = f.read()
text = re.sub(r"^(\w+=)([01]) ", lambda m: "%s%d " % (m.group(1), int(m.group(2)) + 6), text,
              flags=re.M)
with open(setup, "w", encoding="latin-1", newline="") as f:
    f.write(text)

ui = browser_kit.Page(harness, setup, work, width=1024, height=720, listen=False)
check = ui.check
SCALE = 4  # the preview's squares per panel pixel (web/preview.js)


def model():
    return ui.ask_json("/api/preview")


def compare_with_panel(what):
    """The preview's pixels, once it has run some ticks on the page's
    settings, against the real panel's after its first tick (it rests
    while nothing can change)."""
    generation = ui.until(lambda d: (lambda m: m.get("tick", 0) >= 3 and m.get("picture")
                                     and m["generation"])(model()))
    check(generation, "%s: the preview runs and draws the panel itself" % what)
    shown = ui.until(lambda d: d.find_element(By.ID, "preview-status").get_attribute(
        "data-generation") == str(generation) and ui.canvas_pixels("preview-panel", SCALE))
    check(shown, "%s: the page shows the preview's picture, each pixel a %dx%d square"
          % (what, SCALE, SCALE))
    panel = ui.start_panel(panel_program, work)
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


with ui:
    driver = ui.driver

    def scroll_sideways():
        return driver.execute_script("const e = document.documentElement; return [e.scrollWidth, e.clientWidth];")
    compare_with_panel("no stick")
    m = model()
    texts = {l["name"]: l["text"] for l in m["labels"]}
    check(texts["yp"] == "-100" and texts["ty"] == "-50",
          "no stick: pitch -100 and its trim -50, as the panel reads them (%s)" % texts)

    widths = scroll_sideways()
    check(widths[0] <= widths[1], "no sideways scrolling at 1024 pixels: %s" % widths)
ui.exit()
