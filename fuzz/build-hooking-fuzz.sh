#!/usr/bin/env bash
# Builds the hooking engine's fuzz target with libFuzzer and runs it briefly.
#   fuzz/build-hooking-fuzz.sh [libFuzzer options...]   (default: -max_total_time=30)
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/fuzz/hooking_corpus
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
  fuzz/hooking_fuzz.cpp src/hooking/x86_decoder.cpp src/hooking/prologue_relocator.cpp \
  src/hooking/import_jump_stub.cpp src/hooking/pe_imports.cpp -o build/fuzz/hooking_fuzz
[ $# -gt 0 ] || set -- -max_total_time=30
exec build/fuzz/hooking_fuzz build/fuzz/hooking_corpus "$@"
