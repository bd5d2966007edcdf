"""The configurator's page in Debian's Chromium (chromium-driver and
python3-selenium) under Xvfb, against the zq-setup harness (zq-setup with an
SDL virtual joystick fed from its stdin): one start for every browser check.

    with browser_kit.Page(harness, setup_file, work) as page:
        page.click("save")
        page.check(ok, "what was seen")
    # page.failures holds what failed; Page.exit() ends the script.

The browser is headless unless `headed=True`: a headed one runs on the Xvfb
display, so that `page.key("F5")` is a real X key press it receives.
"""

import atexit
import contextlib
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness_kit as kit  # noqa: E402

from selenium import webdriver  # noqa: E402
from selenium.common.exceptions import (ElementClickInterceptedException,  # noqa: E402
                                        StaleElementReferenceException, TimeoutException)
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

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


class Page:
    """Xvfb, the zq-setup harness on `setup_file`, and Chromium holding its
    page with the session the token page handed over."""

    def __init__(self, harness, setup_file, work, headed=False, width=1280, height=720,
                 extra_args=(), listen=True):
        self.harness, self.setup_file, self.work = harness, setup_file, work
        self.headed, self.width, self.height = headed, width, height
        self.extra_args, self.listen = list(extra_args), listen
        self.failures = []
        self.panels = []
        self.driver = self.server = self.xvfb = self.listener = None

    # ---- start and end ----

    def __enter__(self):
        if self.listen:
            # The configurator never sends to the panel's port: a listener
            # there must get nothing all along (checked at the end).
            self.listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            self.listener.bind(("127.0.0.1", kit.PORT))
            self.listener.setblocking(False)
        self.xvfb, self.display = kit.start_xvfb("%dx%dx24" % (self.width + 100, self.height + 100))
        self.env = dict(os.environ, DISPLAY=self.display)
        self.start_server()
        self.open_browser()
        self.driver.get(self.token_page)
        self.wait.until(lambda d: d.find_element(By.ID, "field-flapsdown"))
        self.cookie = self.driver.get_cookie("zq_setup_%d" % self.port)
        return self

    def start_server(self, setup_file=None):
        """Starts (or starts again) the harness; sets address, port, token and
        token_page from what it prints."""
        self.server = subprocess.Popen(
            [self.harness, "--setup", setup_file or self.setup_file, "ui"] + self.extra_args,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=self.env)
        self.address = re.search(r"http://\S+", self.server.stdout.readline()).group(0)
        self.token = self.address.split("token=")[1]
        self.port = int(self.address.split(":")[2].split("/")[0])
        page = None
        while page is None:
            line = self.server.stdout.readline()
            kit.check(line, "the harness ended before printing its token page")
            m = re.search(r"harness: token page (file://\S+)", line)
            page = m and m.group(1)
        self.token_page = page
        self.token_page_file = urllib.request.url2pathname(page[len("file://"):])
        # As the harness left it, before any browser read it.
        with open(self.token_page_file) as f:
            self.token_page_private = (os.stat(self.token_page_file).st_mode & 0o777 == 0o600
                                       and self.token in f.read())

    def stop_server(self):
        if self.server is None:
            return
        self.server.terminate()
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()
        self.server = None

    def open_browser(self):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        args = ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=%d,%d" % (self.width, self.height), "--window-position=0,0"]
        if not self.headed:
            args.append("--headless=new")
        for arg in args:
            options.add_argument(arg)
        os.environ["DISPLAY"] = self.display
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        # The page re-renders as edits come back: an element may go stale under a wait.
        self.wait = WebDriverWait(self.driver, 20,
                                  ignored_exceptions=[StaleElementReferenceException])

    def __exit__(self, *exc):
        if self.listener is not None:
            try:
                stray = self.listener.recvfrom(65536)
            except BlockingIOError:
                stray = None
            self.check(stray is None, "nothing reached 127.0.0.1:%d (%r)" % (kit.PORT, stray))
            self.listener.close()
        if self.driver is not None:
            self.driver.quit()
        for p in self.panels:
            if p.poll() is None:
                self.stop_panel(p)
        self.stop_server()
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait()
        return False

    def exit(self):
        print("%d failures" % len(self.failures))
        sys.exit(1 if self.failures else 0)

    # ---- what a check does ----

    def check(self, ok, what):
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        if not ok:
            self.failures.append(what)

    def until(self, predicate, timeout=20, poll=0.5):
        """predicate's first true value within `timeout` s, else None (no raise:
        the caller checks and goes on)."""
        try:
            return WebDriverWait(self.driver, timeout, poll_frequency=poll, ignored_exceptions=[
                StaleElementReferenceException]).until(predicate)
        except TimeoutException:
            return None

    def stick(self, line):
        """A line to the harness's virtual joystick (see setup_ui_harness.cpp)."""
        self.server.stdin.write(line + "\n")
        self.server.stdin.flush()

    def key(self, *keys, window=None):
        """Real X key presses on the Xvfb display (xdotool key names)."""
        subprocess.run(["xdotool", "key"] + list(keys), env=self.env, check=True)

    def hold(self, keys, until):
        """Real X presses of `keys` ("ctrl+t"), let go once `until(driver)`
        holds (or its wait ends): long enough for a 50 ms tick to see them."""
        subprocess.run(["xdotool", "keydown", keys], env=self.env, check=True)
        try:
            return self.until(until, poll=0.05)
        finally:
            subprocess.run(["xdotool", "keyup", keys], env=self.env, check=True)

    @contextlib.contextmanager
    def elsewhere(self):
        """Keys go to a window of another program meanwhile, as they go to the
        simulator while the player flies (headed only): the browser does
        not act on them (Ctrl+T opens no tab), the panel's reading of the
        keyboard sees them all the same."""
        other = subprocess.Popen(["xmessage", "-geometry", "+%d+0" % (self.width + 2),
                                  "-name", "zq-simulator", "simulator"], env=self.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            found = subprocess.run(["xdotool", "search", "--sync", "--classname", "zq-simulator"],
                                   env=self.env, capture_output=True, text=True, timeout=20)
            for window in found.stdout.split():
                subprocess.run(["xdotool", "windowfocus", "--sync", window], env=self.env,
                               capture_output=True, timeout=20)
            yield other
        finally:
            other.terminate()
            other.wait()
            self.focus_browser()

    def focus_browser(self):
        """The keyboard focus back to the browser's window."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "chromium"],
                               env=self.env, capture_output=True, text=True, timeout=20)
        for window in found.stdout.split()[-1:]:
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=self.env,
                           capture_output=True, timeout=20)

    def open_in_new_tab(self):
        """The token page of the server started last, in a new tab of the same
        browser, which then holds the page (and its session cookie)."""
        self.driver.switch_to.new_window("tab")
        self.driver.get(self.token_page)
        self.wait.until(lambda d: d.find_element(By.ID, "field-flapsdown"))
        self.cookie = self.driver.get_cookie("zq_setup_%d" % self.port)

    def asks_before_leaving(self):
        """Whether leaving the page now would ask first: its beforeunload
        handlers cancel the event. (WebDriver accepts the browser's question
        itself, so the dialog cannot be watched.)"""
        return self.driver.execute_script(
            "const e = new Event('beforeunload', {cancelable: true}); window.dispatchEvent(e);"
            "return e.defaultPrevented;")

    def find(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def text(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def click(self, element_id):
        """Clicks a control of the page, which re-renders as edits come back."""
        for _ in range(20):
            try:
                e = self.driver.find_element(By.ID, element_id)
                self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", e)
                e.click()
                return
            except (StaleElementReferenceException, ElementClickInterceptedException):
                time.sleep(0.2)
        raise RuntimeError("cannot click " + element_id)

    def shot(self, name):
        self.driver.save_screenshot(os.path.join(self.work, name + ".png"))

    def a11y_problems(self):
        return self.driver.execute_script(A11Y)

    # ---- the real panel beside the page ----

    def start_panel(self, program, cwd):
        """The Linux panel `program` on the page's display, reading Setup.ini
        in `cwd`, with its tick trace (harness_kit.TickTrace) as `.trace`."""
        trace = os.path.join(self.work, "panel-%d.stderr" % len(self.panels))
        with open(trace, "wb") as err:
            p = subprocess.Popen([program], cwd=cwd, env=dict(self.env, ZQ_TICK_TRACE="1"),
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        p.trace = kit.TickTrace(trace)
        self.panels.append(p)
        return p

    def stop_panel(self, p):
        p.terminate()
        try:
            p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()

    def window_pixels(self, name, timeout=15):
        return window_pixels(self.env, name, self.work, timeout)

    def canvas_pixels(self, element_id, scale):
        return canvas_pixels(self.driver, element_id, scale)

    def ask(self, path, method="GET", body=None, origin=False):
        """A request to the server as a tool makes it, with the page's cookie
        (and with `origin`, the page's Origin, as the page's own POST has)."""
        headers = {"Cookie": "%s=%s" % (self.cookie["name"], self.cookie["value"])}
        if origin:
            headers["Origin"] = "http://127.0.0.1:%d" % self.port
            headers["Content-Type"] = "application/json"
        req = urllib.request.Request(
            "http://127.0.0.1:%d%s" % (self.port, path), method=method, data=body,
            headers=headers)
        with urllib.request.urlopen(req, timeout=10) as res:
            return res.read().decode("utf-8")

    def ask_json(self, path):
        return json.loads(self.ask(path))


def window_pixels(env, name, work, timeout=15):
    """(width, height, RGB bytes) of the top-level X window named `name`,
    as the X server holds it."""
    def find():
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env,
                              capture_output=True, text=True).stdout
        m = re.search(r'^\s*(0x[0-9a-f]+) "%s":' % re.escape(name), tree, re.M)
        return m and m.group(1)
    window = kit.wait_for(find, timeout)
    kit.check(window, "no window named %r within %d s" % (name, timeout))
    png = os.path.join(work, "window.png")
    subprocess.run(["import", "-window", window, png], env=env, check=True)
    size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True,
                          text=True, check=True).stdout.split()
    rgb = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return int(size[0]), int(size[1]), rgb


def canvas_pixels(driver, element_id, scale):
    """(width, height, RGB bytes) of a canvas drawn `scale` times larger
    than its picture, read back at 1:1; None when a square is not one
    colour."""
    got = driver.execute_script("""
        const c = document.getElementById(arguments[0]); const s = arguments[1];
        const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        const w = c.width / s, h = c.height / s, out = [];
        for (let y = 0; y < h; ++y) for (let x = 0; x < w; ++x) {
          const at = (dx, dy) => ((y * s + dy) * c.width + x * s + dx) * 4;
          for (let k = 0; k < 3; ++k) {
            const v = d[at(0, 0) + k];
            for (let dy = 0; dy < s; ++dy) for (let dx = 0; dx < s; ++dx)
              if (d[at(dx, dy) + k] !== v) return null;
            out.push(v);
          }
        }
        return [w, h, out];""", element_id, scale)
    return got and (got[0], got[1], bytes(got[2]))


def fresh_work(work, example, name="Setup.ini"):
    """An empty `work` folder, and a copy of `example` in a scratch folder
    with a player's kind of name ("/tmp/zq-.../flying/Setup.ini", removed at
    exit): its path. The page shows it, screenshots for the README too,
    which should not show a build folder's."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    scratch = tempfile.mkdtemp(prefix="zq-")
    atexit.register(shutil.rmtree, scratch, ignore_errors=True)
    setup = os.path.join(scratch, "flying", name)
    os.makedirs(os.path.dirname(setup))
    shutil.copy(example, setup)
    return setup


def events(text):
    return [json.loads(line) for line in text.splitlines()]
