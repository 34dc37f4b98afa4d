#!/usr/bin/python3
"""The page of `tav-host serve` in a real headless Chromium, driven through Selenium.

Starts the built tav-host on loopback with the embedded sample and checks what a person sees:
the flags in the route's order with the equipped one marked, an equip by a click, the route's own
503 text once equipping is switched off, a peer failure shown, a second window that redraws
from the event stream without reloading, and a form of another origin that changes nothing. Saves screenshots of the page into the build folder.

    /usr/bin/python3 tav_host_page_test.py --build-dir build/release

Exits non-zero on any failure, a missing browser or Selenium included: the set-up script
installs them, so their absence is a fault here, not a reason to skip.
"""
import argparse
import base64
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

FLAGS = "/tav-banners/v1/current-sondar/flags"
EQUIPPED = "/tav-banners/v1/current-sondar/flags/equipped"
EQUIP_SWITCH = "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled"
PROFILE = "/tav-sondar/v1/current-sondar/sondar-profile"
PATIENCE = 30  # seconds for any one wait; a loaded machine only makes the test slower


class Served:
    """tav-host serve with a lockfile of its own, until stop(); tool is the command that runs
    tav-host, extra more arguments of serve."""

    def __init__(self, tool, folder, extra=()):
        self.lockfile = os.path.join(folder, "lockfile")
        self.log = open(os.path.join(folder, "serve.log"), "w+b")
        self.process = subprocess.Popen(
            [*tool, "serve", "--port", "0", "--lockfile", self.lockfile, *extra],
            stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + PATIENCE
        while True:
            # "tav-host:<pid>:<port>:<password>:http", written whole by a rename.
            fields = self.lockfile_fields()
            if len(fields) == 5:
                break
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("serve did not start: " + self.output())
            time.sleep(0.05)
        self.url = "http://127.0.0.1:" + fields[2]
        token = base64.b64encode(("tav:" + fields[3]).encode()).decode()
        self.authorization = "Basic " + token

    def lockfile_fields(self):
        try:
            with open(self.lockfile) as file:
                return file.read().strip().split(":")
        except FileNotFoundError:
            return []

    def get(self, path):
        request = urllib.request.Request(self.url + path,
                                         headers={"Authorization": self.authorization})
        with urllib.request.urlopen(request, timeout=PATIENCE) as answer:
            return json.load(answer)

    def output(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(PATIENCE)
        return self.process.returncode


def browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # Root in a container: no sandbox, and /dev/shm may be small.
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=1280,1320", "--hide-scrollbars", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_until(what, ask):
    deadline = time.monotonic() + PATIENCE
    while True:
        answer = ask()
        if answer:
            return answer
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def open_page(driver, served):
    # The credentials travel as a header of the tab, not in the URL: Chromium refuses fetch() of
    # relative URLs from a page loaded with user:password@ in its address.
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setExtraHTTPHeaders",
                           {"headers": {"Authorization": served.authorization}})
    driver.get(served.url + "/")
    # Live means the EventSource was answered 200, so the header reached /events as well.
    wait_until("the page to draw and follow the events", lambda: driver.execute_script(
        "return document.body.dataset.live === 'yes' && document.body.dataset.renders !== '0'"))


def shown_flags(driver):
    return driver.execute_script("""
        return [...document.querySelectorAll('#flags .flag')].map((b) => ({
          theme: b.dataset.theme, level: b.dataset.level, seasonId: b.dataset.season,
          equipped: b.classList.contains('equipped')}));""")


def key(flag):
    return (flag["theme"], flag["level"], flag["seasonId"])


def equipped_keys(driver):
    return [key(flag) for flag in shown_flags(driver) if flag["equipped"]]


def click(driver, selector):
    """A real click on the element; a redraw may replace it between finding and clicking."""
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.by import By
    for _ in range(20):
        try:
            driver.find_element(By.CSS_SELECTOR, selector).click()
            return
        except StaleElementReferenceException:
            time.sleep(0.05)
    raise AssertionError(selector + " kept being redrawn")


def flag_selector(flag):
    return '#flags .flag[data-theme="%s"][data-level="%s"][data-season="%s"]' % key(flag)


def message(driver):
    return driver.execute_script(
        "const m = document.getElementById('message'); return m.hidden ? '' : m.textContent;")


def check(served, driver, shots):
    first = driver.current_window_handle
    open_page(driver, served)

    # The route's order, each flag once, the equipped one alone marked.
    listed = served.get(FLAGS)
    shown = shown_flags(driver)
    assert [key(f) for f in shown] == [key(f) for f in listed], (shown, listed)
    assert len({f["seasonId"] for f in listed}) > 1, "the sample should span seasons"
    equipped = served.get(EQUIPPED)
    assert equipped_keys(driver) == [key(equipped)], (equipped_keys(driver), equipped)
    seasons = driver.execute_script(
        "return [...document.querySelectorAll('#flags .season-group h3')].map((h) => h.textContent)")
    assert seasons == list(dict.fromkeys("Season " + f["seasonId"] for f in listed)), seasons

    # A second window, marked so that a reload would show.
    driver.switch_to.new_window("window")
    second = driver.current_window_handle
    open_page(driver, served)
    driver.execute_script("window.notReloaded = true;")

    # Equip another flag by a click in the first window.
    driver.switch_to.window(first)
    target = next(f for f in listed if key(f) != key(equipped))
    click(driver, flag_selector(target))
    wait_until("the clicked flag to show equipped",
               lambda: equipped_keys(driver) == [key(target)])
    assert message(driver).startswith("Equipped " + target["theme"]), message(driver)
    assert key(served.get(EQUIPPED)) == key(target)
    driver.get_screenshot_as_file(os.path.join(shots, "tav-host-page.png"))

    # The second window follows from the plugin's event, without reloading.
    driver.switch_to.window(second)
    wait_until("the second window to redraw the equip",
               lambda: equipped_keys(driver) == [key(target)])
    assert driver.execute_script("return window.notReloaded === true"), "the page was reloaded"

    # Equipping switched off in the first window: a click shows the route's own 503 text, and
    # the second window's switch follows.
    driver.switch_to.window(first)
    assert driver.find_element("id", "equip-enabled").is_selected()
    click(driver, "#equip-enabled")
    wait_until("equipping to be off", lambda: served.get(EQUIP_SWITCH) is False)
    click(driver, flag_selector(equipped))
    wait_until("the 503 text", lambda: message(driver) == "503 Banner equipping is not enabled.")
    # Without equipping the route answers the default flag; the page marks what it answers.
    wait_until("the default flag marked",
               lambda: equipped_keys(driver) == [key(served.get(EQUIPPED))])
    driver.switch_to.window(second)
    wait_until("the second window's switch to follow",
               lambda: not driver.find_element("id", "equip-enabled").is_selected())

    # A failing inventory peer: its error text where the flags were, in both windows.
    driver.switch_to.window(first)
    click(driver, "#fail-inventory")
    for window in (first, second):
        driver.switch_to.window(window)
        wait_until("the inventory failure in the flag list", lambda: driver.execute_script(
            "const e = document.querySelector('#flags .error-text');"
            "return e !== null && e.textContent.includes('inventory is down')"))
    driver.switch_to.window(first)
    click(driver, "#fail-inventory")
    wait_until("the flags back", lambda: len(shown_flags(driver)) == len(listed))

    # The narrow screen of a phone: nothing wider than the window.
    driver.set_window_size(360, 1400)
    wait_until("the narrow layout", lambda: driver.execute_script("return innerWidth") <= 360)
    overflow = driver.execute_script(
        "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
    assert overflow <= 0, "the page is %d px wider than a 360 px screen" % overflow
    driver.get_screenshot_as_file(os.path.join(shots, "tav-host-page-360.png"))

    # A page of another origin, in the browser that holds the credentials, posts a form whose
    # text/plain body reads as JSON: serve refuses it, and nothing changes.
    profile = served.get(PROFILE)
    form = ('<form method="POST" enctype="text/plain" action="%s%s">'
            '<input name=\'{"key": "equippedBannerFlag", "value": "\' value=\'x"}\'></form>'
            '<script>document.forms[0].submit()</script>') % (served.url, PROFILE)
    driver.get("data:text/html," + urllib.parse.quote(form))
    answer = wait_until("serve's answer to the form", lambda: driver.execute_script(
        "return location.href.startsWith(arguments[0]) && document.readyState === 'complete'"
        " ? JSON.parse(document.body.textContent) : null", served.url))
    assert answer.get("httpStatus") in (403, 415), answer
    assert served.get(PROFILE) == profile, (served.get(PROFILE), profile)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.environ.get("TAV_BUILD_DIR", "."))
    arguments = parser.parse_args()
    tool = os.path.join(arguments.build_dir, "tav-host")
    if not os.access(tool, os.X_OK):
        print("tav-host is not built in " + arguments.build_dir, file=sys.stderr)
        return 1
    started = time.monotonic()
    with tempfile.TemporaryDirectory() as folder:
        served = Served([tool], folder)
        driver = None
        try:
            driver = browser()
            check(served, driver, arguments.build_dir)
        except Exception:
            print("serve said:\n" + served.output(), file=sys.stderr)
            raise
        finally:
            if driver is not None:
                driver.quit()
            code = served.stop()
        if code != 0:
            print("serve ended with %s:\n%s" % (code, served.output()), file=sys.stderr)
            return 1
    print("page test passed in %.1f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
