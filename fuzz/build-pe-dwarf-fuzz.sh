#!/bin/sh
# Builds the libFuzzer target for the PE and DWARF readers and its seed corpus.
#   fuzz/build-pe-dwarf-fuzz.sh [out-dir]      (default build/fuzz)
# Run:  build/fuzz/pe_dwarf_fuzz build/fuzz/pe_dwarf_corpus -max_total_time=300 -rss_limit_mb=1024
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/fuzz}
mkdir -p "$out/pe_dwarf_corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I"$root/src" \
  "$root/fuzz/pe_dwarf_fuzz.cpp" "$root"/src/tools/*.cpp "$root/src/runtime/exceptions.cpp" \
  -o "$out/pe_dwarf_fuzz"

# Seeds: a small MinGW-built program with DWARF 5 (a whole PE), and its debug sections in the
# raw form (five sizes, then the sections).
seed=$out/seed.exe
i686-w64-mingw32-g++-posix -g -O1 -o "$seed" "$root/tests/tools/samples/main.cpp" \
  "$root/tests/tools/samples/widget.cpp"
cp "$seed" "$out/pe_dwarf_corpus/seed_pe"
raw=$out/pe_dwarf_corpus/seed_raw
: > "$raw.body"
sizes=""
for section in .debug_info .debug_abbrev .debug_line .debug_str .debug_line_str; do
  i686-w64-mingw32-objcopy --dump-section "$section=$out/section.bin" "$seed" "$out/discard.exe"
  sizes="$sizes $(stat -c %s "$out/section.bin")"
  cat "$out/section.bin" >> "$raw.body"
done
python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('<5I', *map(int, sys.argv[1:])))" \
  $sizes > "$raw"
cat "$raw.body" >> "$raw"
rm -f "$raw.body" "$out/section.bin" "$out/discard.exe"
echo "built $out/pe_dwarf_fuzz; corpus $out/pe_dwarf_corpus"
