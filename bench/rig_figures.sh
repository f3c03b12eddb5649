#!/usr/bin/env bash
# The real program's figures under signglove-rig, in real time (about 50 s):
#   - its CPU share while it waits at the menu for 10 s;
#   - the mean interval between its requests in finger connections with 0, 1 and 2
#     contact groups, against the line's limit (request, scan and reply bytes).
# Usage: bench/rig_figures.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
rig="${1:-build}/signglove-rig"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf 'calibrate\nwait 300\npress B C\nwait 100\nrelease all\n' > "$work/menu_0s.sim"
printf 'calibrate\nwait 10000\npress B C\nwait 100\nrelease all\n' > "$work/menu_10s.sim"
for groups in 0 1 2; do
  {
    printf 'calibrate\nwait 300\ntap A\ntap A\n'
    [ "$groups" -ge 1 ] && printf 'touch RT RI\n'
    [ "$groups" -ge 2 ] && printf 'touch RM RR\n'
    printf 'wait 10000\npress B C\nwait 100\nrelease all\n'
  } > "$work/fingers_$groups.sim"
done

# The menu's share is the difference of the two runs: calibration costs the same in both.
cpu_and_wall() { "$rig" --timing "$1" 2>&1 >/dev/null | sed -n 's/.*used \([0-9.]*\) s of CPU in \([0-9.]*\) s.*/\1 \2/p'; }
read -r cpu10 wall10 < <(cpu_and_wall "$work/menu_10s.sim")
read -r cpu0 wall0 < <(cpu_and_wall "$work/menu_0s.sim")
awk -v c1="$cpu10" -v w1="$wall10" -v c0="$cpu0" -v w0="$wall0" \
  'BEGIN { printf "waiting at the menu: %.3f s of CPU in %.3f s, %.2f%% of a core\n", c1 - c0, w1 - w0, 100 * (c1 - c0) / (w1 - w0) }'
for groups in 0 1 2; do
  printf 'finger connections, %s groups: ' "$groups"
  "$rig" --timing "$work/fingers_$groups.sim" 2>&1 >/dev/null | sed -n 's/^signglove-rig: \(.* request intervals.*\)/\1/p'
done
