#!/usr/bin/env bash
# The tree's C and C++ sources through clang-format (.clang-format).
#   scripts/format.sh           rewrite every file in place (make format)
#   scripts/format.sh --check   change nothing; name each file that differs and
#                               exit 1 if any does (make format-check, CI)
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' | grep -v '^src/web/')
# The page's sources are left as written: their JavaScript (EM_JS, EM_ASM)
# is not C++, and the formatter breaks it.
if [[ ${1:-} != --check ]]; then
  clang-format -i --style=file "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --style=file --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "format: $f differs from .clang-format (make format)"
    bad=1
  fi
done
exit $bad
