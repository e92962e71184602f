#!/usr/bin/env bash
# Non-blank lines of the tests against the code they test (src and tools),
# per subsystem and for the whole tree. Usage: scripts/test-ratio.sh [--max R]
# With --max, exits 1 when the whole tree's ratio is above R.
set -euo pipefail
cd "$(dirname "$0")/.."

lines() {  # non-blank lines of the C and C++ files below the given folders
  local dirs=()
  for d in "$@"; do [[ -d $d ]] && dirs+=("$d"); done
  [[ ${#dirs[@]} -eq 0 ]] && { echo 0; return; }
  find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.hpp' \) \
    -exec cat {} + | grep -c '[^[:space:]]' || true
}
ratio() { awk -v t="$1" -v c="$2" 'BEGIN { if (c > 0) printf "%.2f", t / c; else printf "-" }'; }

printf '%-16s %7s %7s %6s\n' folder tests code ratio
for t in tests/*/; do
  name=$(basename "$t")
  n=$(lines "$t")
  [[ $n -eq 0 ]] && continue
  case $name in  # the tests of generated content test the generators
    content) c=$(lines tools/girlgen tools/girlpreview) ;;
    content_world) c=$(lines tools/worldgen tools/voicegen tools/worldpreview) ;;
    *) c=$(lines "src/$name") ;;
  esac
  printf '%-16s %7d %7s %6s\n' "$name" "$n" "$([[ $c -gt 0 ]] && echo "$c" || echo -)" "$(ratio "$n" "$c")"
done
tests=$(lines tests)
code=$(lines src tools)
total=$(ratio "$tests" "$code")
printf '%-16s %7d %7d %6s\n' "all (src+tools)" "$tests" "$code" "$total"

if [[ ${1:-} == --max ]]; then
  awk -v r="$total" -v m="$2" 'BEGIN { exit !(r <= m) }' || { echo "test-ratio: $total is above $2" >&2; exit 1; }
fi
