#!/usr/bin/env bash
# The README's run command: starts the app in a window; on a machine without
# a display, renders a short demo with ovanta-headless instead.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  rc=0
  "$build/ovanta" || rc=$?
  [[ $rc -ne 69 ]] && exit $rc  # 69: the display could not be opened after all
fi
echo "No display here: rendering a short demo (greeting, tap, dance, shake) with ovanta-headless instead."
out="$build/demo/ovanta-demo.gif"
mkdir -p "$build/demo"
bash "$here/demo.sh" "$build" "$out"
echo "Demo written to $out"
