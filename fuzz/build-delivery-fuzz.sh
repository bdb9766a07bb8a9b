#!/usr/bin/env bash
# Builds the delivery fuzz targets with libFuzzer (address and undefined-behaviour sanitizers)
# and runs the one named for the given number of seconds (default 300), niced.
#   fuzz/build-delivery-fuzz.sh mx_answer|smtp_reply|data_text|mailto_link [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
seconds=${2:-300}
out="$root/build/fuzz"
mkdir -p "$out/corpus-$target" "$out/crashes-$target"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/src" "$root/fuzz/${target}_fuzz.cpp" \
  "$root"/src/delivery/{base64,mail_date,mime_message,smtp_reply,dns_packet,address_list,mailto_link}.cpp \
  "$root/src/runtime/exceptions.cpp" "$root/src/runtime/class_names.cpp" \
  -o "$out/${target}_fuzz"
exec nice "$out/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=1024 \
  -artifact_prefix="$out/crashes-$target/" "$out/corpus-$target" "$root/fuzz/corpus/$target"
