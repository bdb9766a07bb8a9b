#!/usr/bin/env bash
# The main job: builds the program and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine-env.sh
if vl_can_run_i386; then preset=windows arch=win32; else preset=win64 arch=win64; fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j"$(nproc)" >/dev/null
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  . scripts/wine-env.sh
  vl_wine_env "$PWD/build/$0" "$1"
  vl_wine_prefix
  vl_wine_start
  rc=0
  bash scripts/demo-steps.sh "$PWD/build/$0" || rc=$?
  vl_wine_stop
  exit $rc
' "$preset" "$arch"
