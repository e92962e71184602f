#!/usr/bin/env bash
# Runs every benchmark executable of a build, then the window (alone, busy,
# unmapped) under a virtual X server (scripts/window-bench.sh), and prints the goals
# side by side with what was measured: first the figures the app is held to,
# then every benchmark's goal (the counters of bench/kit/goal.h; a ratio of
# at most 1 meets the goal).
#   scripts/bench.sh BUILD        (BENCH_FILTER=REGEX runs only matching benchmarks)
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
out="$build/bench-results"
rm -rf "$out"
mkdir -p "$out"
shopt -s nullglob
for b in "$build"/bench/*/bench_*; do
  [[ -x "$b" && -f "$b" ]] || continue
  name=$(basename "$b")
  echo "== $name"
  "$b" --benchmark_counters_tabular=true --benchmark_filter="${BENCH_FILTER:-.}" \
    --benchmark_out="$out/$name.json" --benchmark_out_format=json
done

echo "== window"
window_ok=1
OVANTA_WINDOW_FIGURES="$out/window.txt" bash "$here/window-bench.sh" "$build" 20 || window_ok=0

# name -> "goal measured ratio" of every benchmark that states a goal.
jq -r '.benchmarks[] | select(.ratio != null and .error_occurred != true)
       | (to_entries | map(select(.key | startswith("goal_"))) | .[0]) as $g
       | select($g != null)
       | ($g.key | ltrimstr("goal_")) as $unit
       | "\(.name)\t\($unit)\t\($g.value)\t\(.[$unit])\t\(.ratio)"' "$out"/*.json >"$out/goals.tsv"

figure() {  # benchmark name -> its measured figure
  awk -F'\t' -v n="$1" '$1 == n { printf "%.1f", $4 }' "$out/goals.tsv"
}
window() {  # key -> figure of the window run
  [[ $window_ok == 1 ]] && awk -v k="$1" '$1 == k { printf "%.1f", $2 }' "$out/window.txt" || echo "-"
}
row() {  # what, goal, measured, ratio (goal over measured when `at least`)
  printf "%-46s %12s %10s %7s\n" "$1" "$2" "$3" "$4"
}
ratio() { awk -v m="$1" -v g="$2" -v least="${3:-0}" 'BEGIN {
  if (m == "" || m == "-") { print "-"; exit }
  printf "%.2f", least ? g / (m > 0 ? m : 1e-9) : m / g }'; }

echo
echo "== Goals of a companion that stays open all day (load average $(cut -d' ' -f1-3 /proc/loadavg))"
row "what" "goal" "measured" "ratio"
m=$(window cpu); row "window 640x960 alone: app CPU, % of a core" "<= 33" "$m" "$(ratio "$m" 33)"
m=$(window xcpu); row "  X server CPU, % of a core" "-" "$m" "-"
m=$(window tps); row "window ticks per second" ">= 30" "$m" "$(ratio "$m" 30 1)"
m=$(window tickms); row "  app CPU a window tick, ms (all threads)" "<= 11" "$m" "$(ratio "$m" 11)"
m=$(window busy_tps); row "window ticks per second, 4 busy processes" ">= 27" "$m" "$(ratio "$m" 27 1)"
m=$(window unmapped_cpu); row "window unmapped: app CPU, % of a core" "<= 2" "$m" "$(ratio "$m" 2)"
m=$(figure "BM_HeadlessTick/scale:1/gl:1/min_time:3.000/real_time"); row "headless tick 320x480 (driver es1), ms" "<= 6" "$m" "$(ratio "$m" 6)"
m=$(figure "BM_HeadlessTick/scale:2/gl:1/min_time:3.000/real_time"); row "headless tick 640x960 (driver es1), ms" "<= 8" "$m" "$(ratio "$m" 8)"
m=$(figure "BM_ReloadTick/outfit:0/min_time:3.000/real_time"); row "reload, new hair colour, ms" "<= 35" "$m" "$(ratio "$m" 35)"
m=$(figure "BM_ReloadTick/outfit:1/min_time:3.000/real_time"); row "reload, new outfit (and backdrop), ms" "<= 35" "$m" "$(ratio "$m" 35)"
m=$(figure "BM_StartToFirstFrame/min_time:3.000/real_time"); row "start to first frame (headless), ms" "<= 250" "$m" "$(ratio "$m" 250)"

echo
echo "== Every benchmark's goal (ratio <= 1 meets it)"
printf "%-58s %-8s %12s %12s %7s\n" "benchmark" "unit" "goal" "measured" "ratio"
awk -F'\t' '{ printf "%-58s %-8s %12.4g %12.4g %7.2f %s\n", $1, $2, $3, $4, $5, $5 <= 1 ? "" : "  not met" }' "$out/goals.tsv"
