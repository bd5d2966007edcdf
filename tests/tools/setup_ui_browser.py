#!/usr/bin/env python3
"""The configurator page in Debian's headless Chromium (chromium-driver and
python3-selenium) under Xvfb, against zq-setup with an SDL virtual joystick:
bind a key pressed with xdotool, a joystick button and an axis; drag a curve
point and watch the live dot follow the stick; see the preview's next message
change with a curve point, record 10 s of it; save, and check that only the
edited lines changed, that zq-check says what the page said and that zq-replay
plays the recording back to the preview's messages. A listener on
127.0.0.1:21100 must get nothing all along. Screenshots are kept in WORKDIR.

usage: setup_ui_browser.py HARNESS ZQ_CHECK ZQ_REPLAY EXAMPLE_SETUP_INI WORKDIR"""
import os, re, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402
from browser_kit import events  # noqa: E402
from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: E402

harness, zq_check, zq_replay, example, work = sys.argv[1:6]
setup = browser_kit.fresh_work(work, example)
original = open(setup, encoding="latin-1").read().split("\n")
ui = browser_kit.Page(harness, setup, work)
check, click, shot, ask, stick = ui.check, ui.click, ui.shot, ui.ask, ui.stick


def y_message():
    """The newest Y-axis message in the preview's list, and its tick (read at
    once: the list is redrawn several times a second)."""
    return driver.execute_script(r"""
        for (const li of document.querySelectorAll('#preview-sends li')) {
          const m = li.textContent.match(/87\\(-?[\d.]+)/);
          if (m) return [Number(li.dataset.tick), m[1]];
        }
        return null;""")


with ui:
    driver, wait, env, address = ui.driver, ui.wait, ui.env, ui.address
    check(ui.token_page_private, "the token page is the player's alone (mode 0600)")
    check("token" not in driver.current_url and driver.current_url.startswith(address.split("?")[0]),
          "the token page opens the configurator: %s" % driver.current_url)
    check(not os.path.exists(ui.token_page_file), "the token page is removed once used")
    cookie = ui.cookie
    check(cookie is not None and cookie["value"] != ui.token and cookie.get("httpOnly"),
          "the session cookie is this port's, HttpOnly, and not the token")
    driver.get(address)
    # The page draws its fields once its first answers are back: wait for them.
    ui.until(lambda d: d.find_elements(By.ID, "field-flapsdown"))
    check("token" not in driver.current_url and driver.find_elements(By.ID, "field-flapsdown"),
          "the printed address, used again in the same browser, leads back to the page")
    def value(element_id):
        """The value of an input the page may be drawing anew just now."""
        for _ in range(20):
            try:
                return driver.find_element(By.ID, element_id).get_attribute("value")
            except StaleElementReferenceException:
                time.sleep(0.05)
        return None

    def field(key):
        return value("field-" + key)
    wait.until(lambda d: "zq virtual stick" in d.find_element(By.ID, "device-list").text)
    stick_id = int(re.search(r"Joystick (\d+): zq virtual stick",
                             driver.find_element(By.ID, "device-list").text).group(1))
    check(True, "the virtual stick is listed as joystick %d" % stick_id)
    shot("01-loaded")

    problems = ui.a11y_problems()
    check(problems == [], "every control is named and every text has AA contrast %s" % problems[:5])
    # Keyboard alone: Tab reaches the controls of every section, in page order.
    driver.execute_script("window.scrollTo(0, 0); document.activeElement.blur()")
    reached = []
    for _ in range(200):
        ActionChains(driver).send_keys(Keys.TAB).perform()
        reached.append(driver.execute_script("return document.activeElement.id"))
    wanted = ["bind-flapsdown", "clear-fire", "curve-pick", "add-set", "preset", "copy",
              "point-5", "field-WindowX", "field-startflaps"]
    check(all(w in reached for w in wanted) and
          [reached.index(w) for w in wanted] == sorted(reached.index(w) for w in wanted),
          "Tab reaches every section's controls in order (%s)" %
          [w for w in wanted if w not in reached])

    # A key pressed with xdotool (K is virtual key 75).
    click("bind-flapsdown")
    time.sleep(0.3)
    subprocess.run(["xdotool", "keydown", "k"], env=env)
    time.sleep(0.3)
    subprocess.run(["xdotool", "keyup", "k"], env=env)
    wait.until(lambda d: field("flapsdown") == "-1 75")
    check(True, "flapsdown bound by a key: -1 75")

    # A joystick button.
    click("bind-fire")
    time.sleep(0.3)
    stick("button 9 1")
    wait.until(lambda d: field("fire") == "%d 9" % stick_id)
    stick("button 9 0")
    check(True, "fire bound by a joystick button: %d 9" % stick_id)

    # An axis: the one moved most, past 30 % of its travel.
    stick("axis 4 0")
    time.sleep(0.3)
    click("bind-Yaxis")
    time.sleep(0.3)
    stick("axis 0 3000")  # X moves a little: not enough
    stick("axis 4 32767")  # U moves to the end
    wait.until(lambda d: field("Yaxis") == "%d 4" % stick_id)
    check(True, "Yaxis bound by moving an axis: %d 4" % stick_id)
    shot("02-bound")

    # Drag the Y curve's point at 50 % up; then the live dot follows the stick.
    driver.execute_script("document.getElementById('curves').scrollIntoView()")
    time.sleep(0.5)
    before = value("point-5")
    handle = driver.find_element(By.CSS_SELECTOR, "#chart circle.handle[data-point='5']")
    ActionChains(driver).click_and_hold(handle).move_by_offset(0, -40).release().perform()
    wait.until(lambda d: value("point-5") not in (before, None))
    dragged = value("point-5")
    check(int(dragged) > int(before), "the dragged point rose: %s -> %s" % (before, dragged))
    for raw, reading in ((32767, 1000), (0, 0), (-16384, -500)):
        stick("axis 4 %d" % raw)
        wait.until(lambda d: re.search(r"reading (-?\d+)", d.find_element(By.ID, "live-dot").text)
                   and abs(int(re.search(r"reading (-?\d+)", d.find_element(By.ID, "live-dot").text)
                               .group(1)) - reading) <= 1)
        dot = driver.find_element(By.ID, "live-dot-mark")
        check(dot is not None, "the live dot follows the stick to %d" % reading)
        if reading == 0:
            text = driver.find_element(By.ID, "live-dot").text
            check("output 0; the panel sends 0 on the pitch axis" in text,
                  "the dot says what the panel sends: " + text)
    driver.execute_script("document.getElementById('curves').scrollIntoView()")
    time.sleep(0.3)
    shot("03-curve")

    # The preview: a curve point typed in changes its next message for the
    # same stick position, since it restarts fresh on the edited settings.
    stick("axis 4 16384")
    driver.execute_script("document.getElementById('preview').scrollIntoView()")
    wait.until(lambda d: y_message() is not None)
    time.sleep(0.5)
    generation, before = driver.execute_script(
        "return document.getElementById('preview-status').dataset.generation"), y_message()[1]
    point5 = int(driver.find_element(By.ID, "point-5").get_attribute("value"))
    click("point-5")  # focused, the field is not redrawn under the typing
    driver.switch_to.active_element.send_keys(Keys.CONTROL, "a")
    driver.switch_to.active_element.send_keys(str(point5 + 40), Keys.TAB)
    wait.until(lambda d: d.execute_script(
        "return document.getElementById('preview-status').dataset.generation") != generation
        and y_message() is not None)
    after = y_message()[1]
    check(after != before, "a curve point edit changes the preview's next Y message: %s -> %s"
          % (before, after))
    driver.execute_script("document.getElementById('preview').scrollIntoView()")
    time.sleep(0.5)
    shot("05-preview")

    # Record 10 s while the stick moves and the keyboard flies too: the chat
    # key (` in the example) held shows "Чат" on the panel until Escape; the
    # preview's events of that run are read as tools do.
    ask("/api/preview/events")
    click("preview-record")  # the focus stays on the button: keys type nothing
    for i in range(24):
        stick("axis 4 %d" % (-32768 + i * 2700))
        if i == 4:
            subprocess.run(["xdotool", "keydown", "grave"], env=env)
            wait.until(lambda d: "Чат" in d.find_element(By.ID, "preview-labels").text)
            subprocess.run(["xdotool", "keyup", "grave"], env=env)
            check(True, "the held chat key reaches the preview: it shows \"Чат\"")
        if i == 8:
            subprocess.run(["xdotool", "keydown", "Escape"], env=env)
            wait.until(lambda d: "Чат" not in d.find_element(By.ID, "preview-labels").text)
            subprocess.run(["xdotool", "keyup", "Escape"], env=env)
        time.sleep(0.5)
    WebDriverWait(driver, 30, ignored_exceptions=[StaleElementReferenceException]).until(
        lambda d: "Recorded" in d.find_element(By.ID, "preview-record-status").text)
    recording = ask("/api/preview/recording")
    driver.execute_script("document.getElementById('preview').scrollIntoView()")
    time.sleep(0.3)
    shot("06-preview-recorded")
    seen = events(ask("/api/preview/events"))
    start = next(i for i, e in enumerate(seen) if e["tick"] == 0)  # the run the recording began
    recorded = [e for e in seen[start:] if e["tick"] <= 200]
    check(recording.startswith("# zq-setup recording"), "the page recorded 10 s as a script")
    with open(os.path.join(work, "recording.script"), "w") as f:
        f.write(recording)

    # Save: only the edited lines change, and zq-check agrees with the page.
    click("save")
    wait.until(lambda d: "Saved" in d.find_element(By.ID, "message").text)
    check("restart" in driver.find_element(By.ID, "message").text, "the page says to restart the panel")
    now = open(setup, encoding="latin-1").read().split("\n")
    changed = {i for i in range(max(len(now), len(original)))
               if i >= len(now) or i >= len(original) or now[i] != original[i]}
    keys = sorted(now[i].split("=")[0] for i in changed if i < len(now))
    check(len(now) == len(original) and keys == ["Y", "Yaxis", "fire", "flapsdown"],
          "the save changed exactly the edited lines: %s" % keys)
    check(os.path.exists(setup + ".bak"), "the old file is kept as Setup.ini.bak")
    wait.until(lambda d: not d.find_element(By.ID, "save").is_enabled())
    page = [li.text for li in driver.find_elements(By.CSS_SELECTOR, "#finding-list li")]
    report = subprocess.run([zq_check, setup], capture_output=True, text=True)
    said = report.stdout + report.stderr
    page_messages = [re.sub(r"^\w+( \(line \d+\))?: ", "", t) for t in page
                     if not t.startswith("No findings")]
    check(all(m in said for m in page_messages),
          "zq-check on the saved file says what the page said (%d findings)" % len(page_messages))
    check(("No findings" in page[0]) == (report.returncode == 0),
          "page and zq-check agree on a clean file (status %d)" % report.returncode)
    driver.execute_script("window.scrollTo(0, 0)")
    shot("04-saved")

    # The recording replayed on the saved settings sends what the preview sent.
    played = subprocess.run([zq_replay, "--setup", setup, os.path.join(work, "recording.script")],
                            capture_output=True, text=True)
    replay_sends = [e["data"] for e in events(played.stdout) if e["event"] == "send"]
    preview_sends = [e["data"] for e in recorded if e["event"] == "send"]
    # The moves that landed within its 10 s: fewer on a busy machine, never
    # the handful an empty recording (ticks alone) would give.
    check(played.returncode == 0 and len(preview_sends) >= 10 and replay_sends == preview_sends,
          "zq-replay plays the 10 s recording back to the preview's %d messages (%d)"
          % (len(preview_sends), len(replay_sends)))
    labels = lambda stream: [(e["tick"], e["name"], e["text"]) for e in stream
                             if e["event"] == "label"]
    check("key 192 128" in recording and "key 27 128" in recording
          and ("Чат" in [t for _, _, t in labels(recorded)])
          and labels(events(played.stdout)) == labels(recorded),
          "the recording holds the keys, and replays to the preview's labels, \"Чат\" included")

    # Curve sets: add one, give it the example's curve, copy it, remove it.
    def options():
        try:
            return [o.get_attribute("value") for o in
                    Select(driver.find_element(By.ID, "curve-pick")).options]
        except StaleElementReferenceException:
            return []
    def points():
        return [value("point-%d" % k) for k in range(11)]
    check(options()[:6] == ["Y", "X", "Z", "Y1", "X1", "Z1"] and options()[-3:] ==
          ["TrimY", "TrimX", "TrimZ"], "each set's Y, X and Z and the trim curves are listed")
    click("add-set")
    wait.until(lambda d: "Y2" in options())
    def choose(select_id, value):  # as a player picks an option
        driver.execute_script("const s = document.getElementById(arguments[0]); s.value = arguments[1];"
                              "s.dispatchEvent(new Event('change'))", select_id, value)
    choose("preset", "example")
    wait.until(lambda d: points() == ["0", "50", "55", "60", "65", "70", "75", "80", "85", "92",
                                      "100"])
    check(True, "a new set Y2 takes the example's pitch curve")
    choose("copy-to", "X1")
    click("copy")
    choose("curve-pick", "X1")
    wait.until(lambda d: points()[9] == "92")
    check(True, "the curve is copied to another set's roll curve")
    click("remove-set")
    wait.until(lambda d: "Y2" not in options() and "Y1" in options())
    check(True, "the added set is removed again")

ui.exit()
