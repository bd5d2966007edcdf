#!/usr/bin/env python3
"""Profiles in the configurator page (Chromium under Xvfb, browser_kit): a
folder with three profiles (Setup.ini, a10.ini, f16/Setup.ini) listed with the
sticks each uses, connected or missing; "Save as new profile" writes a file
that zq-check passes and that differs from the source only in the edited
line; opening another profile with unsaved edits asks first; rename and delete
(kept as .bak) ask too. Against the routes themselves: a link in the folder
pointing elsewhere, "../" names and a name that exists are all refused, and
nothing outside the folder is touched.

usage: setup_ui_profiles.py HARNESS ZQ_CHECK EXAMPLE_SETUP_INI WORKDIR"""
import json, os, shutil, subprocess, sys, urllib.error

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

harness, zq_check, example, work = sys.argv[1:5]
folder = os.path.join(work, "flying")
outside = os.path.join(work, "outside")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(folder)
os.makedirs(outside)
setup = os.path.join(folder, "Setup.ini")
shutil.copy(example, setup)
with open(os.path.join(folder, "a10.ini"), "w") as f:
    f.write("[main]\nYaxis=0 1\nXaxis=0 0\n")
os.makedirs(os.path.join(folder, "f16"))
with open(os.path.join(folder, "f16", "Setup.ini"), "w") as f:
    f.write('[main]\nYaxis=7 1\n[sticks]\n7=044f:b10a "Flight Stick" serial=0A1B2C\n')
with open(os.path.join(folder, "notes.txt"), "w") as f:
    f.write("not a profile\n")
# What a stranger sharing the folder plants: links to files and folders elsewhere.
secret = os.path.join(outside, "secret.ini")
with open(secret, "w") as f:
    f.write("[main]\nYaxis=3 1\n")
with open(os.path.join(outside, "Setup.ini"), "w") as f:
    f.write("[main]\n")
os.symlink(secret, os.path.join(folder, "evil.ini"))
os.symlink(outside, os.path.join(folder, "linked"))
source = open(setup, encoding="latin-1").read()


def read(*parts):
    with open(os.path.join(folder, *parts), encoding="latin-1") as f:
        return f.read()


ui = browser_kit.Page(harness, setup, work)
check, click = ui.check, ui.click


def post(path, body):
    """A request as the page makes it; (status, answer)."""
    try:
        return 200, json.loads(ui.ask(path, "POST", json.dumps(body).encode(), origin=True))
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read().decode() or "{}")


def rows():
    return ui.driver.execute_script(
        "return [...document.querySelectorAll('#profile-table tbody tr')]"
        ".map((r) => [r.dataset.file, r.cells[2].innerText])")


def row_index(file):
    return [r[0] for r in rows()].index(file)


def set_field(key, value):
    ui.driver.execute_script(
        "const e = document.getElementById(arguments[0]); e.value = arguments[1];"
        "e.dispatchEvent(new Event('change'))", "field-" + key, value)


def editing():
    return ui.text("file")


with ui:
    driver = ui.driver
    listed = ui.until(lambda d: len(rows()) >= 3 and rows())
    files = [r[0] for r in listed or []]
    check(files == ["Setup.ini", "a10.ini", "f16/Setup.ini"],
          "three profiles listed, no link, no other file: %s" % files)
    ui.until(lambda d: "zq virtual stick" in ui.text("device-list"))
    # the list says again which sticks are connected once the live view has them
    ui.until(lambda d: "connected" in dict(rows()).get("a10.ini", ""))
    sticks = dict(rows())
    check("joystick 0: connected (zq virtual stick)" in sticks.get("a10.ini", ""),
          "a10 uses joystick 0, the connected virtual stick: %s" % sticks.get("a10.ini"))
    check('joystick 7 (044f:b10a "Flight Stick"): missing' in sticks.get("f16/Setup.ini", ""),
          "f16 uses its pinned joystick 7, missing now: %s" % sticks.get("f16/Setup.ini"))
    ui.shot("profiles")
    ui.find("profiles").screenshot(os.path.join(work, "profiles-section.png"))

    # Save as new profile: the file as edited, under a new name.
    set_field("flapsdown", "-1 70")
    ui.until(lambda d: not ui.find("save").get_attribute("disabled"))
    ui.find("profile-name").send_keys("spitfire")
    click("profile-save-new")
    ui.until(lambda d: "spitfire.ini" in editing())
    new = os.path.join(folder, "spitfire.ini")
    check(os.path.exists(new) and "spitfire.ini" in editing(),
          "the new profile is written and edited from now on: %s" % editing())
    check(read("Setup.ini") == source, "the profile it came from is unchanged")
    if os.path.exists(new):
        before, after = source.split("\n"), read("spitfire.ini").split("\n")
        differ = [i for i in range(max(len(before), len(after)))
                  if i >= len(before) or i >= len(after) or before[i] != after[i]]
        check(len(before) == len(after) and [after[i] for i in differ] == ["flapsdown=-1 70"],
              "it differs from the source only in the edited line: %s" % [after[i] for i in differ])
        src = subprocess.run([zq_check, setup], capture_output=True).returncode
        got = subprocess.run([zq_check, new], capture_output=True)
        check(got.returncode == src and got.returncode < 2,
              "zq-check passes it as it passes the source (%d, %d)" % (got.returncode, src))
    check(ui.find("save").get_attribute("disabled") is not None,
          "its edits are saved: nothing left to save")

    # An existing name is never overwritten; a name with a path is refused.
    a10 = read("a10.ini")
    ui.find("profile-name").send_keys("a10")
    click("profile-save-new")
    ui.until(lambda d: "already exists" in ui.text("message"))
    check("already exists" in ui.text("message") and read("a10.ini") == a10,
          "an existing name is refused, its file untouched: %s" % ui.text("message"))
    ui.find("profile-name").clear()
    for body, what in [({"name": "../outside/x"}, "a '../' name"),
                       ({"name": "x/y"}, "a name with a slash"),
                       ({"name": "evil"}, "the name of a link"),
                       ({"name": "linked", "folder": True}, "the name of a linked folder"),
                       ({"name": "bad\u0001name"}, "a control character")]:
        status, answer = post("/api/profiles/new", body)
        check(status in (409, 422), "%s is refused (%d: %s)" % (what, status, answer.get("error")))
    for file in ["evil.ini", "linked/Setup.ini", "../outside/secret.ini", "notes.txt",
                 "f16/../a10.ini", "/etc/passwd"]:
        for route, extra in [("open", {}), ("delete", {}), ("rename", {"to": "taken"})]:
            status, answer = post("/api/profiles/" + route, dict(file=file, **extra))
            check(status in (404, 409, 422),
                  "%s of %s is refused (%d: %s)" % (route, file, status, answer.get("error")))
    status, _ = post("/api/profiles/rename", {"file": "a10.ini", "to": "spitfire"})
    check(status == 409 and read("a10.ini") == a10, "a rename onto a profile that exists is refused")
    check(open(secret).read() == "[main]\nYaxis=3 1\n" and sorted(os.listdir(outside)) ==
          ["Setup.ini", "secret.ini"] and os.path.islink(os.path.join(folder, "evil.ini")),
          "nothing outside the folder, nor the links, was touched")
    status, answer = post("/api/profiles/delete", {"file": "spitfire.ini"})
    check(status == 409, "the profile edited now cannot be deleted: %s" % answer.get("error"))

    # Opening another profile with unsaved edits asks first.
    set_field("flapsdown", "-1 71")
    ui.until(lambda d: not ui.find("save").get_attribute("disabled"))
    click("profile-open-%d" % row_index("a10.ini"))
    ask = ui.until(lambda d: not ui.find("profile-ask").get_attribute("hidden"))
    check(ask and "not saved" in ui.text("profile-ask-text"), "unsaved edits: the page asks first")
    click("profile-ask-cancel")
    check("spitfire.ini" in editing() and not ui.find("save").get_attribute("disabled"),
          "cancelled: the same profile, its edits kept")
    click("profile-open-%d" % row_index("a10.ini"))
    ui.until(lambda d: not ui.find("profile-ask").get_attribute("hidden"))
    click("profile-ask-drop")
    ui.until(lambda d: "a10.ini" in editing())
    check("a10.ini" in editing() and ui.find("field-Yaxis").get_attribute("value") == "0 1",
          "dropped: a10.ini is edited now, as its file reads")
    check("flapsdown=-1 71" not in read("spitfire.ini"), "the dropped edit was never saved")

    # Rename a folder profile, delete a file profile: each asks.
    click("profile-rename-%d" % row_index("f16/Setup.ini"))
    ui.until(lambda d: not ui.find("profile-ask").get_attribute("hidden"))
    name = ui.find("profile-ask-name")
    name.clear()
    name.send_keys("viper")
    click("profile-ask-rename")
    ui.until(lambda d: "viper/Setup.ini" in [r[0] for r in rows()])
    check(os.path.exists(os.path.join(folder, "viper", "Setup.ini")) and
          not os.path.exists(os.path.join(folder, "f16")), "f16 renamed to viper")
    spitfire = read("spitfire.ini")
    click("profile-delete-%d" % row_index("spitfire.ini"))
    ui.until(lambda d: not ui.find("profile-ask").get_attribute("hidden"))
    check(os.path.exists(new), "nothing is deleted before it is confirmed")
    click("profile-ask-delete")
    ui.until(lambda d: "spitfire.ini" not in [r[0] for r in rows()])
    check(not os.path.exists(new) and read("spitfire.ini.bak") == spitfire,
          "deleted: kept whole as spitfire.ini.bak")
    check(ui.find("profile-delete-%d" % row_index("a10.ini")).get_attribute("disabled")
          is not None, "the profile edited now offers no delete")
    problems = ui.a11y_problems()
    check(problems == [], "every control of the profiles is named, every text readable %s"
          % problems[:5])
ui.exit()
