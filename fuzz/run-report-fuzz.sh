#!/usr/bin/env bash
# Builds the report library's libFuzzer targets with clang (ASan + UBSan) and runs each for
# SECONDS (default 60), starting from the seeds in fuzz/corpus/log_text and fuzz/corpus/log_item.
#   fuzz/run-report-fuzz.sh [SECONDS] [log_text|log_item ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=${*:-log_text log_item}
build=$root/build/fuzz
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVL_SANITIZE=ON -DVL_FUZZ=ON \
  -DCMAKE_CXX_FLAGS=-Wno-error=string-concatenation >/dev/null
for target in $targets; do
  cmake --build "$build" -j2 --target "${target}_fuzz"
done
for target in $targets; do
  mkdir -p "$build/corpus/$target"
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz/${target}-" -print_final_stats=1 \
    "$build/corpus/$target" "$root/fuzz/corpus/$target"
done
