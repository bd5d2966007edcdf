#!/usr/bin/env python3
"""One computation for every value on the page: the curve's live dot, the
chain from the stick to the message and the preview's messages all come from
the preview's run of the core, with a stick missing and with the harness's
virtual stick at known positions; a bound key held lights its binding row and
the preview labels it acts on, and the page says what the press did.

usage: setup_ui_chain.py HARNESS EXAMPLE_SETUP_INI WORKDIR"""
import os, re, subprocess, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

harness, example, work = sys.argv[1:4]
setup = browser_kit.fresh_work(work, example)
# The example with the yaw axis on joystick 3, which is never there.
with open(setup, encoding="latin-1") as f:
    text = f.read()
with open(setup, "w", encoding="latin-1") as f:
    f.write(re.sub(r"(?m)^Zaxis=.*$", "Zaxis=3 1", text))
ui = browser_kit.Page(harness, setup, work)
check, stick = ui.check, ui.stick


def cell(letter, step):
    """A chain cell's number and text, as the page shows them now."""
    return ui.driver.execute_script(
        "const e = document.getElementById(arguments[0]);"
        "return e ? [Number(e.dataset.value), e.textContent] : null;",
        "chain-%s-%s" % (letter, step))


def newest_segment(model, channel):
    """The segment of `channel` in the newest message the preview sent that has it."""
    for send in model["sends"]:
        m = re.search(r"/%d\\[^/]*" % channel, send["text"])
        if m:
            return m.group(0)
    return None


def preview_agrees(letter):
    """The chain's axis in one answer of the preview: its last step is what the
    newest message carrying that channel carries, and its labels show it."""
    model = ui.ask_json("/api/preview")
    axis = next(a for a in model["chain"]["axes"] if a["letter"] == letter)
    labels = {l["name"]: l["text"].strip() for l in model["labels"]}
    label = {"Y": "yp", "X": "xyp", "Z": "zyp"}[letter]
    return (axis, newest_segment(model, axis["channel"]) == axis["segment"]
            and labels[label] == str(axis["shaped"]))


def choose_curve(key):
    ui.driver.execute_script(
        "const s = document.getElementById('curve-pick'); s.value = arguments[0];"
        "s.dispatchEvent(new Event('change'))", key)


def dot():
    return ui.text("live-dot")


def dot_x():
    return ui.driver.execute_script(
        "const m = document.getElementById('live-dot-mark'); return m && Number(m.getAttribute('cx'));")


with ui:
    driver = ui.driver
    ui.until(lambda d: "zq virtual stick" in d.find_element(By.ID, "device-list").text)
    stick_id = int(re.search(r"Joystick (\d+): zq virtual stick", ui.text("device-list")).group(1))
    if stick_id != 0:  # the example's sticks are joystick 0: move them to the virtual one
        for key, word in (("Yaxis", 1), ("Xaxis", 0)):
            field = ui.find("field-" + key)
            field.clear()
            field.send_keys("%d %d\n" % (stick_id, word))
    stick("axis 1 0")
    stick("axis 0 0")

    # A missing stick: the yaw axis on joystick 3 reads as a stick that never
    # answered (-1000), the example's Z curve makes -100 of it, and the dot,
    # the chain and the preview say so alike.
    ui.until(lambda d: (cell("Z", "reading") or [None])[0] == -1000)
    z = cell("Z", "reading")
    check(z is not None and "missing: -1000" in z[1], "the chain shows the missing yaw stick: %s" % (z,))
    axis, agrees = preview_agrees("Z")
    check(agrees and axis["shaped"] == -100 and axis["segment"] == "/89\\-1",
          "the chain's yaw ends in what the preview sent: %s" % axis["segment"])
    choose_curve("Z")
    ui.until(lambda d: "reading -1000" in dot())
    check("reading -1000 → output -100; the panel sends -100 on the yaw axis (/89\\-1)" in dot()
          and dot_x() == 40, "the yaw dot says what the preview sends: " + dot())

    # The pitch trim wheel (joystick 1) is missing too: TrimY (all 50) makes
    # -50 of it, the trim on its own channel, as the preview's ty shows.
    choose_curve("TrimY")
    ui.until(lambda d: "reading -1000" in dot())
    model = ui.ask_json("/api/preview")
    ty = next(l for l in model["labels"] if l["name"] == "ty")["text"].strip()
    check("output -50" in dot() and "trim is -50, sent on its own channel as /97\\-0.5" in dot()
          and ty == "-50" and newest_segment(model, 97) == "/97\\-0.5",
          "the trim dot agrees with the preview's ty %s: %s" % (ty, dot()))

    # The virtual stick at known positions: pitch 16384 reads 500, where the
    # example's Y curve (70 % gain at half travel) gives 35.
    choose_curve("Y")
    for raw, reading, shaped in ((16384, 500, 35), (-32768, -1000, -100), (0, 0, 0)):
        stick("axis 1 %d" % raw)
        ui.until(lambda d: (cell("Y", "reading") or [None])[0] == reading
                 and "reading %d " % reading in dot())
        axis, agrees = preview_agrees("Y")
        steps = [cell("Y", s)[0] for s in ("reading", "curve", "shaped", "trim", "sent")]
        check(agrees and steps == [reading, 0, shaped, -50, shaped],
              "pitch at %d: reading, set, shaped, trim and sent %s as the preview sent %s"
              % (raw, steps, axis["segment"]))
        check("reading %d → output %d; the panel sends %d on the pitch axis" % (reading, shaped, shaped)
              in dot(), "the pitch dot follows the stick to %d: %s" % (reading, dot()))

    # A bound key held (Ctrl+Y, pitch trim routing) lights its row and the
    # preview labels it acts on within the next tick; the press is told.
    stick("axis 1 16384")
    ui.until(lambda d: (cell("Y", "shaped") or [None])[0] == 35)
    driver.execute_script("document.activeElement.blur()")
    subprocess.run(["xdotool", "keydown", "ctrl", "keydown", "y"], env=ui.env, check=True)
    lit = ui.until(lambda d: d.execute_script(
        "const r = document.getElementById('field-useYtrim').closest('tr');"
        "return r.classList.contains('input-held') &&"
        " [...document.querySelectorAll('#preview-labels li.input-held')].length === 2;"))
    happened = ui.text("happened")
    subprocess.run(["xdotool", "keyup", "y", "keyup", "ctrl"], env=ui.env, check=True)
    check(bool(lit), "Ctrl+Y held lights the useYtrim row and the pitch labels")
    check("key Ctrl+Y → trim routing off (pitch trim mixed into pitch)" in happened,
          "the page says what the press did: " + happened)
    unlit = ui.until(lambda d: not d.execute_script(
        "return document.querySelector('tr.input-held, #preview-labels li.input-held') !== null"))
    check(bool(unlit), "let go, nothing stays lit")
    check("Ctrl+Y" in ui.text("happened"), "the line stays after the key is let go")

    # Routed into the axis: 35 with the trim -50 mixed in is 19, in the
    # chain, in the dot and in the preview's message alike.
    ui.until(lambda d: (cell("Y", "sent") or [None])[0] == 19)
    axis, agrees = preview_agrees("Y")
    routing = cell("Y", "routing")
    check(agrees and axis["segment"] == "/87\\0.19" and routing and routing[0] == 0,
          "the mixed-in trim reaches the chain's last step and the preview alike: %s, %s"
          % (axis["segment"], routing))
    check("sends 19 on the pitch axis (/87\\0.19), with the trim -50 mixed in" in dot(),
          "the dot says the mixed value: " + dot())
    driver.execute_script("document.getElementById('chain-h').scrollIntoView()")
    ui.shot("chain")

ui.exit()
