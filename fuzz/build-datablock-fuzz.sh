#!/usr/bin/env bash
# Builds the data-block fuzz targets with clang's libFuzzer, ASan and UBSan, and their seeds.
#   fuzz/build.sh [OUT_DIR]            (default: build/fuzz)
#   build/fuzz/fuzz_resource_block -max_total_time=120 build/fuzz/corpus-resource
#   build/fuzz/fuzz_trailer_block  -max_total_time=120 build/fuzz/corpus-trailer
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/fuzz}
mkdir -p "$out/corpus-resource" "$out/corpus-trailer"
flags=(-std=c++17 -g -O1 -I"$root/src" -I"$root/tests")
lib=("$root"/src/datablock/{byte_reader,block_source,data_version,data_block_reader,data_block_writer}.cpp
     "$root"/src/zlibwrap/{zlib_memory,decompress,compress}.cpp "$root"/src/runtime/exceptions.cpp)
for t in fuzz_resource_block fuzz_trailer_block; do
  clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "$root/fuzz/$t.cpp" "${lib[@]}" -lz -o "$out/$t"
done
clang++ "${flags[@]}" "$root/fuzz/make_datablock_seeds.cpp" "${lib[@]}" -lz -o "$out/make_seeds"
"$out/make_seeds" "$out/corpus-resource" "$out/corpus-trailer"
echo "built in $out"
