#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang, ASan + UBSan, the product's libraries)
# and runs one of them, or all, for SECONDS each (default 60). "all" runs two targets at a time
# (one per core of a 2-core machine; VL_FUZZ_JOBS=N changes that).
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
# Targets: the fuzz/<target>_fuzz.cpp files. Each run starts from the kept seeds in
# fuzz/corpus/<target> (never changed by a run) and grows its corpus in fuzz/runs/corpus/<target>;
# a crashing input is written to fuzz/runs/crashes/<target>/. fuzz/runs is git-ignored: once a
# crash is mended, copy its input into fuzz/corpus/<target> as a seed. At the end one line per
# target gives the runs made, the corpus size and the outcome; the exit status is 1 when any
# target failed. Every run also adds a line to fuzz/runs/history.tsv (date, target, seconds, runs,
# corpus files, outcome), and the summary gives each target's total time over all runs kept
# there, for the hour per target that docs/fuzzing.md records. VL_FUZZ_BUILD=0 runs the programs
# already built, without configuring or building (for a second run beside one that is building).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
seconds=${2:-60}
build=$root/build/fuzz
runs=$root/fuzz/runs

all_targets=()
for source in "$root"/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" _fuzz.cpp)
  all_targets+=("$name")
done
if [ "$which" = all ]; then
  targets=("${all_targets[@]}")
elif [ -f "$root/fuzz/${which}_fuzz.cpp" ]; then
  targets=("$which")
else
  echo "fuzz.sh: no target '$which' (one of: ${all_targets[*]}, all)" >&2
  exit 2
fi
case $seconds in
  '' | *[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

if [ "${VL_FUZZ_BUILD:-1}" != 0 ]; then
  "$root/scripts/configure.sh" fuzz >/dev/null
  programs=()
  for target in "${targets[@]}"; do programs+=("${target}_fuzz"); done
  # The post-build target also reads the DWARF samples the build makes.
  for target in "${targets[@]}"; do [ "$target" = postbuild ] && programs+=(vl_dwarf_samples); done
  cmake --build "$build" -j2 --target "${programs[@]}"
fi

# libFuzzer options per target: the largest input worth trying and the memory it may use.
options_for() {
  case $1 in
    postbuild) echo "-max_len=1048576 -rss_limit_mb=2048" ;;
    pe_dwarf) echo "-max_len=262144 -rss_limit_mb=2048" ;;
    *) echo "-max_len=4096 -rss_limit_mb=1024 -malloc_limit_mb=256" ;;
  esac
}

# Runs one target; its summary line goes to $runs/<target>.summary.
run_target() {
  local target=$1
  local corpus=$runs/corpus/$target crashes=$runs/crashes/$target seeds=$root/fuzz/corpus/$target
  mkdir -p "$corpus" "$crashes" "$seeds"
  local extra=()
  [ "$target" = postbuild ] && extra=("$build/tests/tools/samples")
  local log=$runs/$target.log
  echo "== $target: ${seconds}s, corpus $corpus, seeds $seeds"
  local started status=0
  started=$(date +%s)
  # shellcheck disable=SC2046  # the options are words on purpose
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$crashes/" $(options_for "$target") \
    "$corpus" "$seeds" "${extra[@]}" >"$log" 2>&1 || status=$?
  local elapsed executed files outcome
  elapsed=$(($(date +%s) - started))
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    outcome="no failure"
  else
    local artifact reason
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    local pattern='^==[0-9]+==ERROR|^SUMMARY|runtime error|deadly signal|out-of-memory|timeout'
    reason=$(grep -m1 -E "$pattern" "$log" || true)
    outcome="FAILED (exit $status): ${reason:-see $log}; input ${artifact:-none written}"
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$target" "$elapsed" "${executed:-0}" \
    "$files" "$outcome" >>"$runs/history.tsv"
  echo "$target: ${executed:-0} runs in ${elapsed}s, corpus $files files, $outcome" |
    tee "$runs/$target.summary"
}

jobs_max=${VL_FUZZ_JOBS:-2}
mkdir -p "$runs"
for target in "${targets[@]}"; do
  rm -f "$runs/$target.summary"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
  run_target "$target" &
done
wait

summary=()
failed=0
for target in "${targets[@]}"; do
  line=$(cat "$runs/$target.summary" 2>/dev/null || echo "$target: did not run")
  case $line in *FAILED* | *"did not run"*) failed=1 ;; esac
  total=$(awk -F'\t' -v t="$target" '$2 == t { s += $3 } END { print s + 0 }' \
    "$runs/history.tsv" 2>/dev/null || echo 0)
  summary+=("$line; ${total}s in all")
done

echo "== summary (logs in $runs)"
printf '%s\n' "${summary[@]}"
exit $failed
