#!/usr/bin/env python3
"""The live view's figures, run by hand:
  - the server's CPU while it streams the demo to one viewer: signglove-sim --view with
    headless Chromium watching, against the same demo paced alike (--realtime) unwatched;
  - the time from a glove record change to its event leaving the server, as signglove-view
    reports it for the real program under the rig, and signglove-sim for its own run;
  - the page's frame rate in headless Chromium, while the demo streams.

    bench/view_figures.py build

CPU is user+sys time of the simulator's process (os.wait4), so the browser's is not in it.
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'view'))
import browser  # noqa: E402

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')


def cpu_of(process, wait=True):
    """The process's user+sys seconds once it has ended (waiting for it, or None at once
    while it runs)."""
    pid, _, usage = os.wait4(process.pid, 0 if wait else os.WNOHANG)
    if pid == 0:
        return None
    process.returncode = 0
    return usage.ru_utime + usage.ru_stime


def unwatched(build):
    start = time.monotonic()
    process = subprocess.Popen([f'{build}/signglove-sim', '--realtime', '--demo'], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    return cpu_of(process), time.monotonic() - start


def watched(command, seconds_watched=None):
    """Runs command with one headless viewer till the end: its CPU, wall time, stderr and the
    page's figures."""
    start = time.monotonic()
    with open(os.devnull, 'w') as out:
        served = browser.Served(command, out)
    page = browser.Browser()
    page.open(served.url)
    # Nothing is asked of the page while it runs: a WebDriver call costs the page frames.
    cpu = None
    while cpu is None:
        time.sleep(0.5)
        cpu = cpu_of(served.process, wait=False)
    stats = page.run('return window.signgloveView.stats;')
    now = page.run('return performance.now();')
    served.reader.join(5)
    page.close()
    return cpu, time.monotonic() - start, ''.join(served.stderr), stats, (now - stats['started']) / 1000


def main(build):
    reason = browser.missing()
    if reason:
        sys.exit(f'view_figures.py: {reason}')
    plain_cpu, plain_wall = unwatched(build)
    cpu, wall, stderr, stats, seconds = watched([f'{build}/signglove-sim', '--view', '0', '--demo'])
    print(f'demo unwatched (--realtime): {plain_cpu:.3f} s CPU in {plain_wall:.1f} s')
    print(f'demo with the view and one viewer: {cpu:.3f} s CPU in {wall:.1f} s (3 s of it after the end); '
          f'the view: {cpu - plain_cpu:.3f} s more, {100 * (cpu - plain_cpu) / plain_wall:.2f}% of a core')
    print(f'page: {stats["frames"] / seconds:.1f} frames a second, {stats["drawn"] / seconds:.1f} of them drawing, '
          f'{stats["events"]} events in {seconds:.1f} s')
    print(re.search(r'signglove-sim: the live view served.*', stderr).group(0))
    _, _, stderr, stats, seconds = watched(
        [f'{build}/signglove-rig', os.path.join(SOURCE, 'tests/scenarios/sign_words.sim'), '--',
         f'{build}/signglove-view', '--port', '0', '--', f'{build}/signglove'])
    print(re.search(r'signglove-view: served.*', stderr).group(0))
    print(f'page (real program): {stats["frames"] / seconds:.1f} frames a second, {stats["events"]} events '
          f'in {seconds:.1f} s')


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'build')
