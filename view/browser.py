"""Headless Chromium on the live view's page, for its browser tests and its screenshot.

Debian's chromium, chromium-driver and python3-selenium; missing() says which is absent.
"""

import os
import re
import shutil
import subprocess
import tempfile
import threading
import time

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'
# Quiet and self-contained: no first-run pages, no updates, no network of its own.
CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                  '--disable-background-networking', '--disable-component-update', '--disable-sync',
                  '--disable-dev-shm-usage']
URL_LINE = re.compile(r'live view is at (http://\S+)')


def missing():
    """Why the browser tests cannot run here, or None."""
    for path, package in ((CHROMIUM, 'chromium'), (CHROMEDRIVER, 'chromium-driver')):
        if not os.access(path, os.X_OK):
            return f'{path} not found (Debian package {package})'
    try:
        import selenium  # noqa: F401
    except ImportError:
        return 'selenium not found for this python (Debian package python3-selenium)'
    return None


class Browser:
    """A headless Chromium of its own (a fresh profile), driven by selenium."""

    def __init__(self, width=1500, height=1000):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix='signglove-chromium-')
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in CHROMIUM_FLAGS + [f'--user-data-dir={self.profile}', f'--window-size={width},{height}']:
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.logs = []

    def open(self, url):
        self.driver.get(url)

    def run(self, script):
        return self.driver.execute_script(script)

    def text(self, element_id):
        return self.run(f'return document.getElementById({element_id!r}).textContent;')

    def wait_for(self, what, condition, timeout):
        """Waits until condition() is true; fails with what it waited for and the page's text."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if condition():
                return
            time.sleep(0.2)
        raise AssertionError(f'waited {timeout} s for {what}; the console showed {self.text("console")!r}, '
                             f'the words {self.text("words")!r}')

    def console_messages(self):
        """The browser console's messages so far (kept: reading takes them)."""
        self.logs += self.driver.get_log('browser')
        return self.logs

    def errors(self):
        return [entry for entry in self.console_messages() if entry['level'] == 'SEVERE']

    def screenshot(self, path):
        self.driver.save_screenshot(path)

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


class Served:
    """A command that serves the live view (signglove-sim --view 0, signglove-view --port 0,
    or either under signglove-rig): started, its URL read off its standard error."""

    def __init__(self, command, stdout, timeout=60):
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE,
                                        text=True, errors='replace')
        self.stderr = []
        self.url = None
        found = threading.Event()

        def read():
            for line in self.process.stderr:
                self.stderr.append(line)
                match = URL_LINE.search(line)
                if match and not self.url:
                    self.url = match.group(1)
                    found.set()
            found.set()

        self.reader = threading.Thread(target=read, daemon=True)
        self.reader.start()
        found.wait(timeout)
        if not self.url:
            self.stop()
            raise AssertionError(f'{command[0]} gave no URL: {"".join(self.stderr)}')

    def wait(self, timeout):
        status = self.process.wait(timeout)
        self.reader.join(5)
        return status

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
