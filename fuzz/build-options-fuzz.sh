#!/bin/sh
# Builds the options-stream fuzz target with clang's libFuzzer (address and undefined-behaviour
# sanitizers) and runs it for the given number of seconds (default 300).
#   fuzz/build-options-fuzz.sh [seconds]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
seconds=${1:-300}
mkdir -p "$out/corpus-options" "$out/crashes-options"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/src" \
  "$root/fuzz/options_stream_fuzz.cpp" \
  "$root/src/core/byte_stream.cpp" "$root/src/core/file_names.cpp" \
  "$root/src/core/string_list.cpp" "$root/src/core/module_texts.cpp" \
  "$root/src/core/module_options.cpp" "$root/src/core/trace_arg.cpp" \
  "$root/src/core/trace.cpp" "$root/src/core/internal_errors.cpp" \
  "$root/src/runtime/exceptions.cpp" "$root/src/runtime/class_names.cpp" \
  -o "$out/options_stream_fuzz"
VL_FUZZ_SEED_DIR="$out/corpus-options" "$out/options_stream_fuzz" \
  -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=1024 -malloc_limit_mb=256 \
  -artifact_prefix="$out/crashes-options/" "$out/corpus-options"
