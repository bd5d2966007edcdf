#!/usr/bin/env python3
"""The configurator's curve editor in Debian's headless Chromium under Xvfb:
each named shape control (dead zone 10 %, saturation 90 %, invert, curvature)
writes the expected eleven points and the chart draws the panel's own
response to them; a shape the points can only approximate says so; an
emptied point box is an error at the box, not a 0; a gain past full
deflection gets the finding zq-check prints; and the picked curve stays
picked while a typed binding stops the load, so the next point edit goes
to it, and gives way to the first curve when its set is removed.

usage: setup_ui_curves.py HARNESS ZQ_CHECK EXAMPLE_SETUP_INI WORKDIR"""
import os, re, subprocess, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

harness, zq_check, example, work = sys.argv[1:5]
setup = browser_kit.fresh_work(work, example)
ui = browser_kit.Page(harness, setup, work, listen=False)
check = ui.check

# The chart's frame (web/app.js CH) and the vertical scale it reports.
X0, X1, Y0, Y1 = 40, 430, 10, 310


def js(script, *args):
    for _ in range(20):
        try:
            return ui.driver.execute_script(script, *args)
        except StaleElementReferenceException:
            pass
    return None


def text(element_id):
    """An element's text, read at once: the page redraws as edits come back."""
    return js("const e = document.getElementById(arguments[0]); return e ? e.textContent : null", element_id)


def points():
    return js("return [...Array(11).keys()].map((k) => document.getElementById('point-' + k).value)")


def type_into(element_id, text):
    """As a player types: focus, select all, type, Tab away (the change)."""
    ui.click(element_id)
    e = ui.driver.switch_to.active_element
    e.send_keys(Keys.CONTROL, "a")
    e.send_keys(Keys.DELETE)
    e.send_keys(text, Keys.TAB)


def core_outputs(pts):
    """zq-setup's evaluation of the points with the panel's code, asked as the page asks."""
    return ui.driver.execute_async_script(
        "const done = arguments[1]; api('/api/curve', { points: arguments[0] })"
        ".then((r) => done(r.json.outputs))", [int(p) for p in pts])


def chart_is_core(pts):
    """The chart's line, vertex by vertex, is the panel's evaluation of the points."""
    got = js("""const s = document.getElementById('chart'); const p = document.getElementById('curve-line');
                return p && s.dataset.scale ? [Number(s.dataset.scale), p.getAttribute('d')] : null;""")
    if not got:
        return False
    scale, d = got
    outputs = core_outputs(pts)
    vertices = [tuple(map(float, v)) for v in re.findall(r"[ML](-?[\d.]+),(-?[\d.]+)", d)]
    if len(vertices) != 501:
        return False
    for i, (x, y) in enumerate(vertices):
        reading = i * 4 - 1000
        want_y = Y0 + (scale - outputs[reading + 1000]) / (2 * scale) * (Y1 - Y0)
        want_x = X0 + (reading + 1000) / 2000 * (X1 - X0)
        if abs(y - want_y) > 0.051 or abs(x - want_x) > 0.051:
            return False
    return True


def zq_check_says(key, text):
    """zq-check's findings on the example with `key` set to `text`."""
    lines = open(example, encoding="latin-1").read().split("\n")
    lines = [key + "=" + text if line.startswith(key + "=") else line for line in lines]
    path = os.path.join(work, "check.ini")
    with open(path, "w", encoding="latin-1") as f:
        f.write("\n".join(lines))
    return subprocess.run([zq_check, "--quiet", path], capture_output=True, text=True).stdout


with ui:
    driver = ui.driver
    js("document.getElementById('curves').scrollIntoView()")
    ui.until(lambda d: js("return document.getElementById('shape-preset').options.length") > 1)
    check(js("return document.getElementById('curve-pick').value") == "Y", "the Y curve is shown first")

    # Each named control writes the eleven points, shows them, and the chart
    # is the panel's own response to them.
    cases = [
        ("shape-deadzone", "10", "dead zone 10 %", "0 0 56 74 83 89 93 95 97 99 100"),
        ("shape-deadzone", "0", "no dead zone", "0 100 100 100 100 100 100 100 100 100 100"),
        ("shape-saturation", "90", "saturation 90 %", "0 111 111 111 111 111 111 111 111 111 100"),
        ("shape-saturation", "100", "saturation 100 %", "0 100 100 100 100 100 100 100 100 100 100"),
        ("shape-invert", None, "invert", " ".join(["0"] + ["-100"] * 10)),
        ("shape-invert", None, "invert off", "0 100 100 100 100 100 100 100 100 100 100"),
        ("shape-curvature", "40", "curvature 40", "0 60 62 64 66 70 74 80 86 92 100"),
    ]
    for control, typed, name, want in cases:
        if typed is None:
            ui.click(control)
        else:
            type_into(control, typed)
        wrote = ui.until(lambda d: points() == want.split() and
                         ("Wrote Y = " + want) in text("shape-wrote"))
        check(bool(wrote), "%s writes Y = %s (%s)" % (name, want, " ".join(points() or [])))
        check(ui.until(lambda d: chart_is_core(want.split()), 10) is True,
              "after %s the chart is the panel's evaluation of the points" % name)
    shot_text = text("shape-wrote")
    check("follows this shape" in shot_text, "curvature 40 is followed within 1: " + shot_text)
    type_into("shape-curvature", "0")
    type_into("shape-deadzone", "5")
    check(ui.until(lambda d: "only approximate" in text("shape-wrote")) is not None,
          "a dead zone of 5 %, between two points, says the points only approximate it")
    check(js("return !!document.getElementById('shape-line')"), "the shape aimed at is drawn beside the response")
    ui.shot("curves-01-shape")
    type_into("shape-deadzone", "0")
    ui.until(lambda d: points()[1] == "100")

    # An emptied box is an error at the box; the curve keeps its point.
    type_into("point-3", "")
    error = ui.until(lambda d: text("point-error-3"))
    check(bool(error) and "empty" in error and
          js("return document.getElementById('point-3').getAttribute('aria-invalid')") == "true",
          "an emptied box is an error shown at the box: %s" % error)
    check(js("return edits.Y") == " ".join(["0"] + ["100"] * 10),
          "the emptied box leaves the curve's point as it was, not 0: %s" % js("return edits.Y"))
    type_into("point-3", "90")
    check(ui.until(lambda d: js("return edits.Y") == "0 100 100 90 100 100 100 100 100 100 100") and
          text("point-error-3") == "", "typing a whole number clears the error and sets the point")

    # A gain past full deflection: the finding zq-check prints, at the curve.
    type_into("point-10", "250")
    finding = ui.until(lambda d: text("curve-findings"))
    said = zq_check_says("Y", "0 100 100 90 100 100 100 100 100 100 250")
    message = re.sub(r"^\w+: ", "", finding or "")
    check("past full deflection" in message and message in said,
          "a gain of 250 at full deflection is flagged as zq-check flags it: %s" % message)
    ui.shot("curves-02-past-full")

    # A drag moves the output within full deflection: its box gets the gain.
    js("document.getElementById('chart').scrollIntoView({block: 'center'})")
    handle = driver.find_element("css selector", "#chart circle.handle[data-point='5']")
    # up to the chart's top edge, far above output 100 on a chart scaled to 250
    rise = js("""const c = document.getElementById('chart').getBoundingClientRect();
                 const h = arguments[0].getBoundingClientRect();
                 return Math.round(c.top + 3 - (h.top + h.height / 2));""", handle)
    ActionChains(driver).click_and_hold(handle).move_by_offset(0, rise).release().perform()
    check(ui.until(lambda d: points()[5] == "200") is not None,
          "a drag to the top gives point 5 the gain of full deflection, 200: %s" % points()[5])

    # The picked curve stays picked through a load error and its fix.
    js("const s = document.getElementById('curve-pick'); s.value = 'X'; s.dispatchEvent(new Event('change'))")
    x_before = ui.until(lambda d: points() if points()[9] == "100" and points()[1] == "70" else None)
    check(x_before is not None, "the X curve is picked: %s" % x_before)
    type_into("field-Yaxis", "1 3 4")
    ui.until(lambda d: any(f["kind"] == "load-error" for f in js("return view.findings")))
    check(js("return document.getElementById('curve-pick').value") == "X" and
          not ui.find("curve-note").get_attribute("hidden") and
          js("return document.getElementById('point-5').disabled"),
          "a load error leaves X picked, says why it is not loaded, and its boxes wait")
    js("document.getElementById('curves').scrollIntoView()")
    ui.shot("curves-03-load-error")
    type_into("field-Yaxis", "0 1")
    ui.until(lambda d: not any(f["kind"] == "load-error" for f in js("return view.findings")))
    check(ui.until(lambda d: js("return document.getElementById('curve-pick').value") == "X"
                   and not js("return document.getElementById('point-5').disabled")) is not None,
          "after the fix X is still picked and can be edited")
    type_into("point-5", "60")
    check(ui.until(lambda d: js("return edits.X") == "0 70 75 80 85 60 95 100 100 100 100") is not None and
          js("return 'TrimY' in edits") is False,
          "the next point edit goes to X, not TrimY: %s" % js("return edits"))
    # A set removed while its curve is shown gives way to the first curve.
    ui.click("add-set")
    ui.until(lambda d: js("return document.getElementById('curve-pick').value") == "Y2")
    ui.click("remove-set")
    check(ui.until(lambda d: js("return document.getElementById('curve-pick').value") == "Y"
                   and js("return document.getElementById('curve-note').hidden")) is not None,
          "removing the shown set shows the first curve, not a curve that is not loaded")

ui.exit()
