#!/usr/bin/env python3
"""Takes the README's picture of the live view (docs/live_view.png): the demo in the
simulator, watched by headless Chromium until a few words are recognised and the hand
holds a shape with pads touching.

    tools/live_view_screenshot.py build/signglove-sim docs/live_view.png

Needs chromium, chromium-driver and python3-selenium (see view/browser.py).
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'view'))
import browser  # noqa: E402

WIDTH, HEIGHT = 1400, 1100
# The moment pictured: a sign begun with pads touching, some words on the running line.
WORDS_BEFORE = 'welcome to my presentation'


def main(simulator, picture):
    reason = browser.missing()
    if reason:
        sys.exit(f'live_view_screenshot.py: {reason}')
    with open(os.devnull, 'w') as output:
        served = browser.Served([simulator, '--view', '0', '--demo'], output)
    page = browser.Browser(WIDTH, HEIGHT)
    try:
        page.open(served.url)
        page.wait_for(f'"{WORDS_BEFORE}" and pads touching',
                      lambda: page.text('words').startswith(WORDS_BEFORE) and 'no pads' not in page.text('groups'), 120)
        page.screenshot(picture)
        errors = page.errors()
    finally:
        page.close()
        served.stop()
    if errors:
        sys.exit(f'live_view_screenshot.py: the browser console has errors: {errors}')
    print(f'wrote {picture}')


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
