#!/usr/bin/env python3
"""The live view in a real browser: headless Chromium opens the page of a run and
watches it to the end; the console the page shows must be the program's last page,
its words the words the program printed, its windows still and moving, named by the
handshape tree, and the browser's console free of errors.

  view_browser_test.py simulator SIGNGLOVE_SIM
      the demo in the simulator (signglove-sim --view 0 --demo)
  view_browser_test.py program SIGNGLOVE_RIG SIGNGLOVE_VIEW SIGNGLOVE SCRIPT
      the real program under signglove-view, against the rig's devices playing SCRIPT

Exit status 77 (skipped, with the reason) without chromium, chromium-driver or selenium.
"""

import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

SKIPPED = 77
# Failure bounds only: the demo takes about 17 s, the rig's script about 25 s.
LONGEST_RUN = 240
DEMO_WORDS = 'welcome to my presentation I hope this/the proves concept'.split()
CLEAR = re.compile(r'\f|\x1b\[[23]J|\x1bc')
ESCAPE = re.compile(r'\x1b\[[0-?]*[ -/]*[@-~]')
SIGN_BANNER = 'SIGN RECOGNITION program'


def last_page(output):
    """The console's last page as the program printed it: after its last clear, without the
    terminal's carriage returns and other sequences."""
    return ESCAPE.sub('', CLEAR.split(output)[-1]).replace('\r', '')


def printed_words(output):
    """The words the program printed on its sign recognition pages."""
    words = []
    for page in CLEAR.split(output):
        page = ESCAPE.sub('', page).replace('\r', '')
        if page.lstrip().startswith(SIGN_BANNER):
            words += [word for word in page.lstrip()[len(SIGN_BANNER):].split(' ') if word.strip()]
    return [word.strip() for word in words]


def watch(command, out_path):
    """Runs command, watches its page until it ends; what the page showed and the run's output."""
    with open(out_path, 'w') as out:
        served = browser.Served(command, out)
    page = browser.Browser()
    seen = {'names': set(), 'kinds': set()}
    try:
        page.open(served.url)
        end = time.monotonic() + LONGEST_RUN
        while served.process.poll() is None:
            assert time.monotonic() < end, f'{command[0]} still running after {LONGEST_RUN} s'
            for window in page.run("return Array.from(document.querySelectorAll('#windows .window'))"
                                   ".map(w => [w.className, w.querySelector('.name') ? w.querySelector('.name')"
                                   ".textContent : '']);"):
                seen['kinds'].add(window[0])
                seen['names'].add(window[1])
            time.sleep(0.25)
        status = served.wait(10)
        page.wait_for('the end of the run', lambda: 'ended' in page.run(
            "return document.getElementById('status').className;"), 10)
        shown = {'console': page.run("return document.getElementById('console').textContent;"),
                 'words': page.text('words').split(),
                 'stats': page.run('return window.signgloveView.stats;'),
                 'now': page.run('return performance.now();'),
                 'errors': page.errors()}
    finally:
        page.close()
        served.stop()
    with open(out_path, errors='replace', newline='') as out:
        output = out.read()
    return status, shown, seen, output, ''.join(served.stderr)


def check(status, shown, seen, output, stderr, expected_words=None):
    failures = []
    if status != 0:
        failures.append(f'exit status {status}: {stderr}')
    if shown['errors']:
        failures.append(f'the browser console has errors: {shown["errors"]}')
    words = printed_words(output)
    if not words:
        failures.append(f'the program printed no words: {output!r}')
    if expected_words is not None and words != expected_words:
        failures.append(f'the program printed {words}, not {expected_words}')
    if shown['words'] != words:
        failures.append(f'the page shows the words {shown["words"]}, the program printed {words}')
    if shown['console'] != last_page(output):
        failures.append(f'the page shows the console {shown["console"]!r}, the program\'s last page is '
                        f'{last_page(output)!r}')
    if not {'window still', 'window moving'} <= seen['kinds']:
        failures.append(f'windows seen: {seen["kinds"]}')
    if not {'point', 'fist'} <= seen['names']:
        failures.append(f'no point or fist among the windows named: {seen["names"]}')
    stats = shown['stats']
    seconds = (shown['now'] - stats['started']) / 1000
    print(f'page: {stats["events"]} events, {stats["frames"]} frames ({stats["frames"] / seconds:.1f} a second), '
          f'{stats["drawn"]} drawn, over {seconds:.1f} s')
    print(stderr, end='')
    for failure in failures:
        print('FAILED:', failure)
    return 1 if failures else 0


def main(arguments):
    reason = browser.missing()
    if reason:
        print(f'skipped: {reason}')
        return SKIPPED
    work = tempfile.mkdtemp(prefix='signglove-view-browser-')
    out = os.path.join(work, 'output')
    if arguments[0] == 'simulator':
        return check(*watch([arguments[1], '--view', '0', '--demo'], out), expected_words=DEMO_WORDS)
    rig, view, program, script = arguments[1:5]
    status, shown, seen, output, stderr = watch([rig, script, '--', view, '--port', '0', '--', program], out)
    if status == 1 and 'namespace' in stderr:
        print(f'skipped: the rig cannot set up here: {stderr}')
        return SKIPPED
    return check(status, shown, seen, output, stderr)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
