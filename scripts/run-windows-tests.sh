#!/usr/bin/env bash
# Runs a Windows build's CTest suite under Wine inside a virtual X display.
#   scripts/run-windows-tests.sh BUILD_DIR ARCH [ctest args...]   (ARCH: win32 or win64)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
arch=$2
shift 2
# Each width looks for a free display from its own number up, so suites of both widths may run
# at once without taking the same one.
case $arch in win32) display=110 ;; *) display=120 ;; esac
exec xvfb-run -a -n $display -s "-screen 0 1366x768x24" bash -c '
  set -u
  . "$0/wine-env.sh"
  vl_wine_env "$1" "$2"
  shift 2
  vl_wine_prefix
  vl_wine_start
  rc=0
  ctest --test-dir "$WINEPREFIX/.." --output-on-failure "$@" || rc=$?
  vl_wine_stop
  exit $rc
' "$here" "$build" "$arch" "$@"
