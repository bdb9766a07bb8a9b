#!/usr/bin/env bash
# Builds the post-build tool's libFuzzer target with clang (ASan + UBSan) and runs it for SECONDS
# (default 60), starting from the options files in fuzz/corpus/postbuild and the DWARF samples.
#   fuzz/run-postbuild-fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$root/build/fuzz
# clang warns about the texts table's deliberately joined string literals.
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVL_SANITIZE=ON -DVL_FUZZ=ON \
  -DCMAKE_CXX_FLAGS=-Wno-error=string-concatenation >/dev/null
cmake --build "$build" -j2 --target postbuild_fuzz vl_dwarf_samples
mkdir -p "$build/corpus/postbuild"
"$build/fuzz/postbuild_fuzz" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 \
  -artifact_prefix="$build/fuzz/postbuild-" -print_final_stats=1 \
  "$build/corpus/postbuild" "$root/fuzz/corpus/postbuild" "$build/tests/tools/samples"
