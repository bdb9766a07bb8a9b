#!/usr/bin/env bash
# Builds the WinCGI profile fuzz target with libFuzzer and runs it briefly from the seeds.
#   fuzz/build-hosts-fuzz.sh [libFuzzer options...]   (default: -max_total_time=30)
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/fuzz/wincgi_profile_corpus
cp -n fuzz/corpus/wincgi_profile/* build/fuzz/wincgi_profile_corpus/ 2>/dev/null || true
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
  fuzz/wincgi_profile_fuzz.cpp src/hosts/wincgi_call.cpp -o build/fuzz/wincgi_profile_fuzz
[ $# -gt 0 ] || set -- -max_total_time=30
exec build/fuzz/wincgi_profile_fuzz build/fuzz/wincgi_profile_corpus "$@"
