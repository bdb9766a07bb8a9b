#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang, ASan + UBSan, the product's libraries)
# and runs one of them, or all in turn, for SECONDS each (default 60).
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
# Targets: the fuzz/<target>_fuzz.cpp files. Each run starts from the kept seeds in
# fuzz/corpus/<target> (never changed by a run) and grows its corpus in fuzz/runs/corpus/<target>;
# a crashing input is written to fuzz/runs/crashes/<target>/. fuzz/runs is git-ignored: once a
# crash is mended, copy its input into fuzz/corpus/<target> as a seed. At the end one line per
# target gives the runs made, the corpus size and the outcome; the exit status is 1 when any
# target failed. VL_FUZZ_BUILD=0 runs the programs already built, without configuring or building
# (for a second run beside one that is building).
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
  (cd "$root" && cmake --preset fuzz >/dev/null)
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

summary=()
failed=0
for target in "${targets[@]}"; do
  corpus=$runs/corpus/$target
  crashes=$runs/crashes/$target
  seeds=$root/fuzz/corpus/$target
  mkdir -p "$corpus" "$crashes" "$seeds"
  extra=()
  [ "$target" = postbuild ] && extra=("$build/tests/tools/samples")
  log=$runs/$target.log
  echo "== $target: ${seconds}s, corpus $corpus, seeds $seeds"
  started=$(date +%s)
  status=0
  # shellcheck disable=SC2046  # the options are words on purpose
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$crashes/" $(options_for "$target") \
    "$corpus" "$seeds" "${extra[@]}" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - started))
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    outcome="no failure"
  else
    failed=1
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    reason=$(grep -m1 -E '^==[0-9]+==ERROR|^SUMMARY|runtime error|deadly signal|out-of-memory|timeout' \
      "$log" || true)
    outcome="FAILED (exit $status): ${reason:-see $log}; input ${artifact:-none written}"
  fi
  summary+=("$target: ${executed:-0} runs in ${elapsed}s, corpus $files files, $outcome")
  echo "${summary[-1]}"
done

echo "== summary (logs in $runs)"
printf '%s\n' "${summary[@]}"
exit $failed
