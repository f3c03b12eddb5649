#!/usr/bin/env bash
# signglove-record's figures, in real time (about a minute): a minute of signing (the
# nine words four times over) played by signglove-rig into the real program through
# the recorder; then
#   - the recording's size and the time taken to write it, per minute of session;
#   - how long the recorder's relay took to pass each byte on (median, worst);
#   - whether the simulator's replay prints what the live program printed.
# Usage: bench/record_figures.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

{
  printf 'calibrate\nwait 500\ntap B\nwait 300\n'
  for round in 1 2 3 4; do
    for word in welcome to my presentation I hope this/the proves concept; do printf 'sign %s\n' "$word"; done
  done
  printf 'wait 500\npress B C\nwait 300\nrelease all\n'
} > "$work/minute.sim"

"$build/signglove-rig" "$work/minute.sim" -- "$build/signglove-record" "$work/recording.sim" \
  > "$work/live.out" 2> "$work/record.err"
"$build/signglove-sim" "$work/recording.sim" > "$work/replay.out"
# The recorder's closing line: "... N bytes for S s of session, in W ms; the relay passed
# B bytes on within M us (median), X us (worst) ..."
sed -n 's/.*: \([0-9]*\) bytes for \([0-9.]*\) s of session, in \([0-9.]*\) ms; the relay passed \([0-9]*\) bytes on within \([0-9.]*\) us (median), \([0-9.]*\) us (worst).*/\1 \2 \3 \4 \5 \6/p' \
  "$work/record.err" | awk '{
    printf "recording: %d bytes for %.1f s: %.0f KB per minute; written in %.1f ms: %.1f ms per minute\n",
      $1, $2, $1 / $2 * 60 / 1000, $3, $3 / $2 * 60
    printf "relay: %d bytes passed on, %.1f us median, %.1f us worst from coming to passed on\n", $4, $5, $6 }'
if cmp -s "$work/live.out" "$work/replay.out"; then echo "replay: byte for byte as live"; else echo "replay: DIFFERS"; fi
