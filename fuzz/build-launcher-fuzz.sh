#!/usr/bin/env bash
# Builds the launcher's fuzz target with libFuzzer and runs it briefly.
#   fuzz/build-launcher-fuzz.sh [libFuzzer options...]   (default: -max_total_time=30)
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/fuzz/link_parameter_corpus
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
  fuzz/link_parameter_fuzz.cpp src/launcher/link_parameter.cpp src/launcher/launch_values.cpp \
  src/runtime/command_line.cpp -o build/fuzz/link_parameter_fuzz
[ $# -gt 0 ] || set -- -max_total_time=30
exec build/fuzz/link_parameter_fuzz build/fuzz/link_parameter_corpus "$@"
