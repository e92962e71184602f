#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time, each with its
# seed corpus (made by the target's own seed tool when there is one). What the code
# under test prints is dropped; the fuzzer's own report (on stderr) is kept.
# Fails, before fuzzing anything, when a target the build lists
# ($build/fuzz/targets.txt) was not built, or when it lists none.
set -euo pipefail
build=$1; seconds=${2:-60}
list="$build/fuzz/targets.txt"
[[ -f $list ]] || { echo "fuzz: $list is missing: not a fuzz build (-DOVANTA_FUZZ=ON)" >&2; exit 1; }
targets=()
while read -r name; do
  [[ -n $name ]] || continue
  [[ -x "$build/fuzz/$name" ]] || { echo "fuzz: $name was not built in $build/fuzz" >&2; exit 1; }
  targets+=("$build/fuzz/$name")
done <"$list"
[[ ${#targets[@]} -gt 0 ]] || { echo "fuzz: $list names no target" >&2; exit 1; }
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus="$build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeder="$build/fuzz/${name%_fuzz}_seed"
  [[ -x "$seeder" ]] && "$seeder" "$corpus"
  echo "fuzz: $name for ${seconds}s"
  "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 >/dev/null | tail -n 12
done
