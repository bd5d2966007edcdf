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
import json, os, re, shutil, socket, subprocess, sys, time, urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.common.exceptions import (ElementClickInterceptedException,
                                        StaleElementReferenceException, TimeoutException)
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

harness, zq_check, zq_replay, example, work = sys.argv[1:6]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
setup = os.path.join(work, "Setup.ini")
shutil.copy(example, setup)
original = open(setup, encoding="latin-1").read().split("\n")
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


# The preview only shows its messages: nothing may reach a panel's listener.
listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listener.bind(("127.0.0.1", 21100))
listener.setblocking(False)

display = ":%d" % (90 + os.getpid() % 500)
xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x720x24", "-nolisten", "tcp"],
                        stderr=subprocess.DEVNULL)
env = dict(os.environ, DISPLAY=display)
for _ in range(100):
    if subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode == 0:
        break
    time.sleep(0.1)

server = subprocess.Popen([harness, "--setup", setup, "ui"], stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE, text=True, env=env)
driver = None


def stick(line):
    server.stdin.write(line + "\n")
    server.stdin.flush()


def click(element_id):
    """Clicks a control of the page, which re-renders as edits come back."""
    for _ in range(20):
        try:
            e = driver.find_element(By.ID, element_id)
            driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", e)
            e.click()
            return
        except (StaleElementReferenceException, ElementClickInterceptedException):
            time.sleep(0.2)
    raise RuntimeError("cannot click " + element_id)


def shot(name):
    driver.save_screenshot(os.path.join(work, name + ".png"))


# Every control has a name a screen reader says, and every text has WCAG AA
# contrast against the background it is drawn on.
A11Y = """
const problems = [];
const rgb = (c) => (c.match(/[\\d.]+/g) || []).map(Number);
const lum = ([r, g, b]) => { const f = (v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; };
  return 0.2126 * f(r) + 0.7152 * f(g) + 0.0722 * f(b); };
const background = (e) => { for (; e; e = e.parentElement) { const c = rgb(getComputedStyle(e).backgroundColor);
  if (c.length === 3 || c[3] > 0) return c; } return [255, 255, 255]; };
for (const c of document.querySelectorAll('input, select, button')) {
  const named = c.getAttribute('aria-label') || (c.labels && c.labels.length) || (c.tagName === 'BUTTON' && c.textContent.trim());
  if (!named) problems.push('no name: ' + (c.id || c.outerHTML.slice(0, 60)));
}
for (const e of document.querySelectorAll('body *')) {
  if (!e.offsetParent || e.closest('svg')) continue;
  if (![...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim())) continue;
  const a = lum(rgb(getComputedStyle(e).color)); const b = lum(background(e));
  const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
  if (ratio < 4.5) problems.push('contrast ' + ratio.toFixed(2) + ': ' + e.textContent.trim().slice(0, 40));
}
return problems;
"""


def ask(path):
    """A request to the server as a tool makes it, with the page's cookie."""
    req = urllib.request.Request(address.split("/?")[0] + path,
                                 headers={"Cookie": "%s=%s" % (cookie["name"], cookie["value"])})
    with urllib.request.urlopen(req, timeout=10) as res:
        return res.read().decode("utf-8")


def events(text):
    return [json.loads(line) for line in text.splitlines()]


def y_message():
    """The newest Y-axis message in the preview's list, and its tick (read at
    once: the list is redrawn several times a second)."""
    return driver.execute_script(r"""
        for (const li of document.querySelectorAll('#preview-sends li')) {
          const m = li.textContent.match(/87\\(-?[\d.]+)/);
          if (m) return [Number(li.dataset.tick), m[1]];
        }
        return null;""")


try:
    address = re.search(r"http://\S+", server.stdout.readline()).group(0)
    token = address.split("token=")[1]
    # The browser opens the token page (a file only the player reads), which
    # posts the token: no command line ever holds it.
    page = None
    while page is None:
        m = re.search(r"harness: token page (file://\S+)", server.stdout.readline())
        page = m and m.group(1)
    page_file = urllib.request.url2pathname(page[len("file://"):])
    check(os.stat(page_file).st_mode & 0o777 == 0o600 and token in open(page_file).read(),
          "the token page is the player's alone (mode 0600)")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,720",
                "--disable-dev-shm-usage"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # The page re-renders as edits come back: an element may go stale under a wait.
    wait = WebDriverWait(driver, 20, ignored_exceptions=[StaleElementReferenceException])
    driver.get(page)
    wait.until(lambda d: d.find_element(By.ID, "field-flapsdown"))
    check("token" not in driver.current_url and driver.current_url.startswith(address.split("?")[0]),
          "the token page opens the configurator: %s" % driver.current_url)
    check(not os.path.exists(page_file), "the token page is removed once used")
    cookie = driver.get_cookie("zq_setup_" + address.split(":")[2].split("/")[0])
    check(cookie is not None and cookie["value"] != token and cookie.get("httpOnly"),
          "the session cookie is this port's, HttpOnly, and not the token")
    driver.get(address)
    # The page draws its fields once its first answers are back: wait for them.
    try:
        wait.until(lambda d: d.find_elements(By.ID, "field-flapsdown"))
    except TimeoutException:
        pass
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

    problems = driver.execute_script(A11Y)
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
            # The example's pitch trim wheel is on joystick 1, missing here: it
            # reads -100, TrimY (all 50) makes -5 of it, and with that trim
            # routed into the axis the centre sends half of it, -2.
            wait.until(lambda d: "mixed in" in d.find_element(By.ID, "live-dot").text)
            text = driver.find_element(By.ID, "live-dot").text
            check("output 0; the panel sends 0 on the pitch axis" in text and
                  "trim axis's -5 is mixed in: it sends -2" in text,
                  "the dot says what the panel sends, with and without the trim: " + text)
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
finally:
    try:
        stray = listener.recvfrom(65536)
    except BlockingIOError:
        stray = None
    check(stray is None, "nothing reached 127.0.0.1:21100 (%r)" % (stray,))
    if driver is not None:
        driver.quit()
    server.terminate()
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()
    xvfb.terminate()
    xvfb.wait()

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
