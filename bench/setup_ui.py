#!/usr/bin/python3
"""zq-setup ui with one page open in headless Chromium under Xvfb: time to
ready (start to the page showing the settings), CPU share of one core and
resident memory over a quiet minute (or --seconds N). A measurement, not a
test: the figures go in the closing notes.

usage: bench/setup_ui.py ZQ_SETUP [--seconds N]"""
import os, re, shutil, socket, subprocess, sys, tempfile, time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

zq_setup = sys.argv[1]
seconds = int(sys.argv[sys.argv.index("--seconds") + 1]) if "--seconds" in sys.argv else 60
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="zq-setup-bench-")
shutil.copy(os.path.join(here, "..", "examples", "Setup.ini"), os.path.join(work, "Setup.ini"))
display = ":%d" % (600 + os.getpid() % 300)
xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x720x24", "-nolisten", "tcp"],
                        stderr=subprocess.DEVNULL)
env = dict(os.environ, DISPLAY=display)
time.sleep(1)
hz = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / hz


def memory(pid, key):
    for line in open("/proc/%d/status" % pid):
        if line.startswith(key + ":"):
            return int(line.split()[1]) / 1024
    return 0.0


options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,720"):
    options.add_argument(arg)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
server = None
try:
    wall0 = time.time()
    t0 = time.monotonic()
    server = subprocess.Popen([zq_setup, "--setup", os.path.join(work, "Setup.ini"), "ui",
                               "--no-browser"], stdout=subprocess.PIPE, text=True, env=env)
    address = re.search(r"http://\S+", server.stdout.readline()).group(0)
    t_listen = time.monotonic() - t0
    driver.get(address)
    WebDriverWait(driver, 20, poll_frequency=0.02).until(
        lambda d: d.find_element(By.ID, "field-Yaxis").get_attribute("value") != "")
    t_seen = time.monotonic() - t0
    # The page marks the moment it shows the settings: times on the page's
    # clock, from the start of zq-setup (the browser was started before it).
    origin, nav, ready = driver.execute_script(
        "return [performance.timeOrigin, performance.timing.navigationStart,"
        " performance.getEntriesByName('zq-ready')[0].startTime]")
    t_ready = (origin + ready) / 1000 - wall0
    steps = driver.execute_script(
        "const n = performance.getEntriesByType('navigation')[0];"
        "return [['redirect and page', n.responseEnd], ['DOM parsed', n.domContentLoadedEventEnd]]"
        ".concat(performance.getEntriesByType('resource').map("
        "(r) => [r.name.replace(location.origin, '') + ' answered (asked at ' + Math.round(r.fetchStart) + ', sent ' + Math.round(r.requestStart) + ')', r.responseEnd]))")
    t_nav = nav / 1000 - wall0
    in_page = ready
    time.sleep(2)
    c0, w0 = cpu_seconds(server.pid), time.monotonic()
    time.sleep(seconds)
    c1, w1 = cpu_seconds(server.pid), time.monotonic()
    print("time to the address printed: %.3f s" % t_listen)
    print("time to the page ready in the browser (start, load, first settings): %.3f s" % t_ready)
    print("  the browser starts navigating at %.3f s; from there to the settings shown: %.0f ms"
          % (t_nav, in_page))
    for name, at in sorted(steps, key=lambda x: x[1]):
        if at < ready:
            print("    %5.0f ms  %s" % (at, name))
    print("  (seen by the driver at %.3f s)" % t_seen)
    print("CPU with one page open, live input at 20 Hz: %.2f %% of one core over %d s"
          % (100 * (c1 - c0) / (w1 - w0), seconds))
    print("RSS: %.1f MB now, %.1f MB peak" % (memory(server.pid, "VmRSS"), memory(server.pid, "VmHWM")))
finally:
    driver.quit()
    if server is not None:
        server.terminate()
        server.wait()
    xvfb.terminate()
    xvfb.wait()
    shutil.rmtree(work, ignore_errors=True)
