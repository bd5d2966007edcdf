#!/usr/bin/python3
"""zq-setup.exe under wine serves the configurator to Linux Chromium: the
page loads, the joystick list is empty, an edit saved from the page is read
back by the system's own profile call; the profiles of the folder are listed,
saved as a new folder profile and deleted to a backup through the Windows
file calls.

usage: setup_ui_wine.py WINE ZQ_SETUP_EXE PROFILE_READ_EXE EXAMPLE_SETUP_INI WORKDIR"""
import os, re, shutil, subprocess, sys, time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait
from selenium.common.exceptions import (ElementNotInteractableException,
                                        StaleElementReferenceException)

wine, exe, reader, example, work = sys.argv[1:6]
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
