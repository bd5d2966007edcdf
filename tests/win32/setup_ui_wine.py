#!/usr/bin/python3
"""zq-setup.exe under wine serves the configurator to Linux Chromium: the
page loads, the joystick list is empty, the preview's panel has the pixels
of zq-thrust.exe's window on the same settings (no tolerance: both are drawn
by the panel's GDI code), an edit saved from the page is read back by the
system's own profile call; the profiles of the folder are listed, saved as a
new folder profile and deleted to a backup through the Windows file calls.

usage: setup_ui_wine.py WINE ZQ_SETUP_EXE PROFILE_READ_EXE EXAMPLE_SETUP_INI WORKDIR ZQ_THRUST_EXE"""
import os, re, shutil, subprocess, sys, time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait
from selenium.common.exceptions import (ElementNotInteractableException,
                                        StaleElementReferenceException)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
import browser_kit  # noqa: E402

wine, exe, reader, example, work, panel_exe = sys.argv[1:7]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
setup = os.path.join(work, "Setup.ini")
shutil.copy(example, setup)
with open(os.path.join(work, "a10.ini"), "w") as f:
    f.write("[main]\nYaxis=0 1\n")
os.makedirs(os.path.join(work, "f16"))
with open(os.path.join(work, "f16", "Setup.ini"), "w") as f:
    f.write("[main]\nYaxis=2 1\n")
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


server = subprocess.Popen([wine, exe, "--setup", "Z:" + setup, "ui", "--no-browser"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
driver = None
try:
    line = server.stdout.readline()
    m = re.search(r"http://\S+", line)
    if not m:
        sys.exit("no address from zq-setup.exe: %r %r" % (line, server.stderr.read()))
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,720"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    wait = WebDriverWait(driver, 60)
    driver.get(m.group(0))
    wait.until(lambda d: d.find_element(By.ID, "field-WindowX").get_attribute("value") == "-1")
    check(True, "the page loads from zq-setup.exe")
    wait.until(lambda d: "No joystick is connected" in d.find_element(By.ID, "device-list").text)
    devices = driver.find_element(By.ID, "device-list").text
    check("Joystick 0: bound but missing" in devices, "joystick 0, bound in the example, shows as missing")
    check(True, "the joystick list is empty")
    # The preview runs the core there too: no stick, so every axis reads -100.
    first = lambda d: d.execute_script(
        "const li = document.querySelector('#preview-sends li[data-tick]');"
        "return li ? li.textContent : null;")
    wait.until(first)
    check(first(driver).startswith("R/87\\-1/"), "the preview shows the panel's first message: %r"
          % first(driver))
    # The panel in the preview is drawn by the Windows panel's own GDI code.
    colours = driver.execute_script("""
        const c = document.getElementById('preview-panel');
        const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data; const seen = {};
        for (let i = 0; i < d.length; i += 4) seen[`${d[i]},${d[i + 1]},${d[i + 2]}`] = 1;
        return [c.title, c.width, c.height, Object.keys(seen)];""")
    check(colours[0].startswith("Drawn by the panel's own code") and colours[1:3] == [168, 308]
          and "0,0,128" in colours[3] and "255,255,255" in colours[3],
          "the preview shows the panel as its GDI code draws it, 42 x 77 at x4: %r"
          % (colours[:3] + [colours[3][:8]]))
    # The real panel on the same file, beside it on the display.
    panel = subprocess.Popen([wine, panel_exe], cwd=work, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(60):  # until the window is drawn on the X server
            real = browser_kit.window_pixels(dict(os.environ), "ZQ - Thrust", work, timeout=60)
            shown = browser_kit.canvas_pixels(driver, "preview-panel", 4)
            if shown == real:
                break
            time.sleep(0.5)
        differ = -1 if not shown or shown[:2] != real[:2] else sum(
            1 for i in range(0, len(real[2]), 3) if real[2][i:i + 3] != shown[2][i:i + 3])
        check(differ == 0, "the preview's pixels are zq-thrust.exe's window's (%s of %s x %s differ)"
              % (differ, real[0], real[1]))
    finally:
        subprocess.run([wine, "taskkill", "/im", os.path.basename(panel_exe)],
                       capture_output=True, timeout=60)
        try:
            panel.wait(timeout=20)
        except subprocess.TimeoutExpired:
            panel.kill()
            panel.wait()
    for attempt in range(10):  # the page may be drawing its fields anew
        try:
            box = driver.find_element(By.ID, "field-WindowX")
            driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", box)
            box.clear()
            box.send_keys("123", Keys.TAB)
            break
        except (ElementNotInteractableException, StaleElementReferenceException):
            time.sleep(0.3)
    wait.until(lambda d: d.find_element(By.ID, "save").is_enabled())
    driver.find_element(By.ID, "save").click()
    wait.until(lambda d: "Saved" in d.find_element(By.ID, "message").text)
    driver.save_screenshot(os.path.join(work, "wine-saved.png"))
    read = subprocess.run([wine, reader, "Z:" + setup, "main", "WindowX"], capture_output=True,
                          text=True).stdout.strip()
    check(read == "123", "the system's profile call reads the saved WindowX: %r" % read)

    def profiles(d):
        return d.execute_script("return [...document.querySelectorAll('#profile-table tbody tr')]"
                                ".map((r) => r.dataset.file)")
    wait.until(lambda d: len(profiles(d)) == 3)
    check(profiles(driver) == ["Setup.ini", "a10.ini", "f16/Setup.ini"],
          "the folder's three profiles are listed: %r" % profiles(driver))
    driver.find_element(By.ID, "profile-name").send_keys("viper")
    driver.find_element(By.ID, "profile-in-folder").click()
    driver.find_element(By.ID, "profile-save-new").click()
    wait.until(lambda d: "viper" in d.find_element(By.ID, "file").text)
    new = os.path.join(work, "viper", "Setup.ini")
    check(os.path.exists(new) and open(new, "rb").read() == open(setup, "rb").read(),
          "saved as the new folder profile viper\\Setup.ini, the same text")
    wait.until(lambda d: "a10.ini" in profiles(d))
    driver.execute_script("document.getElementById(arguments[0]).click()",
                          "profile-delete-%d" % profiles(driver).index("a10.ini"))
    wait.until(lambda d: d.find_element(By.ID, "profile-ask-delete"))
    driver.find_element(By.ID, "profile-ask-delete").click()
    wait.until(lambda d: "a10.ini" not in profiles(d))
    check(not os.path.exists(os.path.join(work, "a10.ini")) and
          os.path.exists(os.path.join(work, "a10.ini.bak")), "a10.ini deleted to a10.ini.bak")
finally:
    if driver is not None:
        driver.quit()
    server.terminate()
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
