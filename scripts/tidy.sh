#!/usr/bin/env bash
# clang-tidy (.clang-tidy) over every source of src/ and tools/, with the
# compile commands of a native build. Exits 1 on any finding.
#   scripts/tidy.sh [BUILD] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; jobs=${2:-$(nproc)}
[[ -f $build/compile_commands.json ]] || { echo "tidy: no $build/compile_commands.json (make build first)" >&2; exit 1; }
# Only the sources this build compiles (the web page's program is not one).
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'tools/*.cpp' | while read -r f; do
  grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done)
# Every finding is an error (WarningsAsErrors), so any clang-tidy that did
# not exit 0 found something or could not run: both fail.
if ! printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null >"$build/tidy.log"; then
  grep -E ': (warning|error): ' "$build/tidy.log" || cat "$build/tidy.log"
  echo "tidy: findings above (.clang-tidy)" >&2
  exit 1
fi
echo "tidy: ${#files[@]} files clean"
