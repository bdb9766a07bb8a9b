#!/usr/bin/env bash
# Builds every bench under bench/ in an optimised build without sanitizers, runs them and prints
# their figures as one table: the width, the figure, its value, its goal and its ratio to a peer
# (ours / libpng, ours / smtplib, active / plain, with / without ...).
#
#   scripts/bench.sh [native] [i686] [x86_64]        (default: all three)
#
# native: the portable benches, built by the `bench` preset (Release at -O2, no sanitizer) and run
# here. i686 and x86_64: the Windows benches from the `windows` and `win64` presets
# (RelWithDebInfo, -O2), run under 32- and 64-bit Wine in a virtual display; a width whose Wine
# cannot run here is said so and left out. Everything is built before anything is measured, and
# the machine's load is printed at the start, before the runs and at the end: figures taken
# under load say little. Each bench prints its figures as `figure | name | value | goal | ratio`
# lines (bench/figure.h); its whole output goes to build/bench-logs/<width>-<bench>.log, the
# builds' to build/bench-logs/build-*.txt, and the table to build/bench-logs/table.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
logs=$root/build/bench-logs

portable=(debuginfo_bench postbuild_bench delivery_bench png_bench)
windows=(capture_bench pipeline_bench log_file_bench freeze_bench dialog_bench smtp_bench)

# run_bench WIDTH NAME COMMAND...: runs one bench (at most 15 minutes), its output in its log,
# and adds its figure lines, the width in front, to figures.txt. A failing bench is said and
# the others still run.
run_bench() {
  local width=$1 name=$2 begin=$SECONDS rc=0 log
  shift 2
  log=$logs/$width-$name.log
  printf 'running %s (%s)...' "$name" "$width"
  timeout 900 "$@" >"$log" 2>&1 || rc=$?
  local found
  found=$(sed 's/\r$//' "$log" | grep '^figure | ' | sed "s/^figure |/$width |/" || true)
  [ -z "$found" ] || echo "$found" >>"$logs/figures.txt"
  printf ' %d s, %d figures' $((SECONDS - begin)) "$(grep -c . <<<"$found" || true)"
  [ $rc = 0 ] && echo || echo ", FAILED (exit $rc): see $log"
  return 0
}

# Inside the virtual display: the Windows benches of one build tree under its Wine.
if [ "${1:-}" = --under-wine ]; then
  build=$2 arch=$3 width=$4
  . scripts/wine-env.sh
  vl_wine_env "$build" "$arch"
  vl_wine_prefix
  vl_wine_start
  cd "$build/bench"
  for name in "${windows[@]}"; do
    if [ $name = smtp_bench ]; then
      # Against the loopback peers of the delivery tests, with Python's smtplib as the peer.
      run_bench "$width" $name "$root/tests/delivery/run-with-peers.sh" "$build/bench-peers" \
        /usr/bin/python3 "$root/bench/smtp_bench_smtplib.py" "$VL_WINE" ./$name.exe
    else
      run_bench "$width" $name "$VL_WINE" ./$name.exe
    fi
  done
  vl_wine_stop
  exit 0
fi

. scripts/wine-env.sh
. scripts/progress.sh
jobs=${VL_JOBS:-$(nproc)}
wanted=${*:-native i686 x86_64}
mkdir -p "$logs"
rm -f "$logs"/*.log "$logs/figures.txt"
echo "load at the start: $(uptime)"

# The builds, all before any run.
runs=()
for width in $wanted; do
  case $width in
    native) preset=bench targets=("${portable[@]}") ;;
    i686) preset=windows targets=("${windows[@]}") ;;
    x86_64) preset=win64 targets=("${windows[@]}") ;;
    *) echo "unknown width $width (native, i686 or x86_64)" >&2; exit 2 ;;
  esac
  if [ $width = i686 ] && ! vl_can_run_i386; then
    echo "i686: not built or run, 32-bit Wine cannot run here (no 32-bit user code)"
    continue
  fi
  vl_step "configuring the $preset preset ($width)" "$logs/build-$width-configure.txt" \
    scripts/configure.sh $preset
  # A bench that a preset leaves out (png_bench without libpng) is said and skipped.
  present=()
  known=$(cmake --build --preset $preset --target help 2>/dev/null || true)
  for target in "${targets[@]}"; do
    if grep -Eq "^(\.\.\. )?$target(: .*)?\$" <<<"$known"; then
      present+=("$target")
    else
      echo "  $target: not in the $preset build, left out"
    fi
  done
  vl_step "building the benches ($width)" "$logs/build-$width.txt" \
    cmake --build --preset $preset -j"$jobs" --target "${present[@]}"
  runs+=("$width:$preset:${present[*]}")
done

echo "load before the runs: $(uptime)"
for run in "${runs[@]}"; do
  IFS=: read -r width preset names <<<"$run"
  if [ $width = native ]; then
    for name in $names; do run_bench native "$name" "build/bench/bench/$name"; done
  else
    arch=win64
    [ $width = i686 ] && arch=win32
    xvfb-run -a -s "-screen 0 1366x768x24" bash scripts/bench.sh --under-wine \
      "$root/build/$preset" $arch $width
  fi
done
echo "load at the end: $(uptime)"

echo
if [ -s "$logs/figures.txt" ]; then
  # The table: columns padded to their widest cell.
  { echo "width | figure | value | goal | peer ratio"; cat "$logs/figures.txt"; } |
    awk -F ' [|] ' '
      { rows[NR] = $0; for (i = 1; i <= NF; ++i) if (length($i) > w[i]) w[i] = length($i) }
      END {
        for (r = 1; r <= NR; ++r) {
          n = split(rows[r], c, / [|] /); line = ""
          for (i = 1; i <= n; ++i) line = line (i < n ? sprintf("%-" w[i] "s | ", c[i]) : c[i])
          print line
        }
      }' | tee "$logs/table.txt"
else
  echo "no figures (see the logs in $logs)"
fi
echo "(each bench's whole output: $logs/<width>-<bench>.log)"
