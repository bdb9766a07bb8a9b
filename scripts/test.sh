#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every preset and runs all tests.
#
# The product is 32-bit and the 64-bit build is a supported second target, so the Windows suite
# runs from both builds wherever this machine can execute 32-bit user code (32-bit Wine needs
# it). On a host that runs 64-bit user code only, the 32-bit build is still compiled (so it stays
# warning-free) and the suite runs from the 64-bit build alone. Every stage prints its time; the
# last line names the widths whose tests ran.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
started=$SECONDS
failed=()

# stage NAME COMMAND...: runs one stage and prints how long it took. A failing build stops the
# run; a failing test run is remembered and the other widths still run.
stage() {
  local name=$1 begin=$SECONDS rc=0
  shift
  echo "=== $name"
  "$@" || rc=$?
  echo "=== $name: $((SECONDS - begin)) s$([ $rc = 0 ] || echo ", FAILED (exit $rc)")"
  return $rc
}

# quiet COMMAND...: runs a command without its output (a stage's own lines stay visible).
quiet() { "$@" >/dev/null; }

stage "set-up" scripts/setup.sh
. scripts/wine-env.sh

stage "configure windows (i686)" quiet scripts/configure.sh windows
stage "build windows (i686)" cmake --build --preset windows -j"$jobs"
stage "configure win64 (x86_64)" quiet scripts/configure.sh win64
stage "build win64 (x86_64)" cmake --build --preset win64 -j"$jobs"

# The Wine suites wait on Wine, their loopback peers and their programs' time-outs far more than
# they compute: both widths run at once (each with its own display, prefix and wineserver), in
# the background while the host preset builds and runs. Their lines follow the host's.
rm -f build/windows/suite.log build/win64/suite.log
suites=()  # "pid:width:log" of each suite running
trap 'for s in "${suites[@]}"; do kill "${s%%:*}" 2>/dev/null || true; done' EXIT
if vl_can_run_i386; then
  widths="i686 x86_64"
  stage "test windows (i686, 32-bit Wine)" scripts/run-windows-tests.sh build/windows win32 \
    >build/windows/suite.log 2>&1 &
  suites+=("$!:i686:build/windows/suite.log")
else
  widths="x86_64 (32-bit Wine cannot run here: no 32-bit code, or it could not be installed)"
fi
stage "test win64 (x86_64, 64-bit Wine)" scripts/run-windows-tests.sh build/win64 win64 \
  >build/win64/suite.log 2>&1 &
suites+=("$!:x86_64:build/win64/suite.log")

stage "configure host" quiet scripts/configure.sh host
stage "build host" cmake --build --preset host -j"$jobs"
stage "test host" ctest --preset host || failed+=(host)

for suite in "${suites[@]}"; do
  rest=${suite#*:}
  wait "${suite%%:*}" || failed+=("${rest%%:*}")
  cat "${rest#*:}"
done
trap - EXIT

echo "=== total: $((SECONDS - started)) s"
[ ${#failed[@]} = 0 ] || echo "failed: ${failed[*]}"
echo "widths run: $widths"
[ ${#failed[@]} = 0 ]
