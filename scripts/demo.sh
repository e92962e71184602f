#!/usr/bin/env bash
# Renders a short demo of the app with ovanta-headless (the greeting, a tap
# on her, a dance, a shake) into an animated GIF.
#   scripts/demo.sh BUILD_DIR OUT.gif [SCALE%]
set -euo pipefail
build=$1
out=$2
scale=${3:-100}
frames=$(mktemp -d /tmp/ovanta-demo-XXXXXX)
trap 'rm -rf "$frames"' EXIT

script=$frames/demo.txt
n=0
shoot() {  # shoot TICKS_BETWEEN COUNT: a frame every TICKS_BETWEEN ticks
  for ((i = 0; i < $2; i++)); do
    printf 'tick %d\nshot %s/f%04d.png\n' "$1" "$frames" "$n" >>"$script"
    n=$((n + 1))
  done
}
: >"$script"
shoot 3 14                      # she greets
echo "tap 160 250" >>"$script"  # a tap on her: she answers
shoot 3 14
echo "action onDanceButton" >>"$script"
shoot 3 40
echo "action onDanceStopButton" >>"$script"
shoot 3 34
printf 'accel 0 1.2 0.4\n' >>"$script"  # a sharp jerk
shoot 1 3
printf 'accel 0 -1 0\n' >>"$script"
shoot 3 16

"$build/ovanta-headless" --bundle "$build/Resources" "$script" >/dev/null 2>"$frames/log.txt" || {
  echo "demo: ovanta-headless failed:" >&2
  tail -5 "$frames/log.txt" >&2
  exit 1
}
# 3 ticks a frame at 30 Hz: 10 hundredths of a second.
convert -delay 10 -loop 0 "$frames"/f*.png -resize "${scale}%" -layers Optimize "$out"
