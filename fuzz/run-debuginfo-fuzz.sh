#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for SECONDS (default 60),
# growing the corpus in build/fuzz/corpus and starting from the seeds kept in fuzz/corpus.
#   fuzz/run-debuginfo-fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$root/build/fuzz
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVL_SANITIZE=ON -DVL_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target debug_info_fuzz export_names_fuzz
for target in debug_info export_names; do
  mkdir -p "$build/corpus/$target"
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix="$build/fuzz/${target}-" -print_final_stats=1 \
    "$build/corpus/$target" "$root/fuzz/corpus/$target"
done
