#!/bin/sh
# Builds the libFuzzer target for the PE and DWARF readers and its seed corpus.
#   fuzz/build-pe-dwarf-fuzz.sh [out-dir]      (default build/fuzz)
# Run:  build/fuzz/pe_dwarf_fuzz build/fuzz/pe_dwarf_corpus -max_total_time=300 -rss_limit_mb=1024
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/fuzz}
corpus=$out/pe_dwarf_corpus
mkdir -p "$corpus"
[ -n "${VL_FUZZ_SEEDS_ONLY:-}" ] || clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I"$root/src" \
  "$root/fuzz/pe_dwarf_fuzz.cpp" $(for f in byte_reader pe_image dwarf_forms dwarf_line dwarf_info debug_model; do \
      echo "$root/src/tools/$f.cpp"; done) "$root/src/runtime/exceptions.cpp" \
  -o "$out/pe_dwarf_fuzz"

# The raw form of a PE's debug sections: seven 32-bit sizes, then the sections.
raw_seed() {
  : > "$out/body.bin"
  sizes=""
  for section in .debug_info .debug_abbrev .debug_line .debug_str .debug_line_str .debug_ranges \
    .debug_rnglists; do
    rm -f "$out/section.bin"
    x86_64-w64-mingw32-objcopy --dump-section "$section=$out/section.bin" "$1" "$out/discard.exe" \
      2>/dev/null || true
    [ -f "$out/section.bin" ] || : > "$out/section.bin"  # a section the file does not have
    sizes="$sizes $(stat -c %s "$out/section.bin")"
    cat "$out/section.bin" >> "$out/body.bin"
  done
  python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('<7I', *map(int, sys.argv[1:])))" \
    $sizes > "$2"
  cat "$out/body.bin" >> "$2"
  rm -f "$out/body.bin" "$out/section.bin" "$out/discard.exe"
}

# Seeds: small freestanding programs (DWARF 4 and 5, 32 and 64 bits), whole and as raw sections,
# and one sample program with the C runtime's start-up objects.
for arch in i686 x86_64; do
  entry=Start
  [ $arch = i686 ] && entry=_Start  # 32-bit C names carry an underscore
  for dwarf in 4 5; do
    seed=$corpus/tiny_${arch}_dwarf$dwarf
    $arch-w64-mingw32-g++-posix -g -gdwarf-$dwarf -O0 -nostdlib -fno-exceptions \
      -fno-asynchronous-unwind-tables -Wl,-e,$entry -o "$seed.exe" "$root/fuzz/pe_dwarf_seed.cpp"
    raw_seed "$seed.exe" "$seed.raw"
  done
done
i686-w64-mingw32-g++-posix -g -O0 -o "$corpus/sample_i686.exe" "$root/tests/tools/samples/main.cpp" \
  "$root/tests/tools/samples/widget.cpp"
echo "built $out/pe_dwarf_fuzz; corpus $corpus"
