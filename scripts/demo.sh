#!/usr/bin/env bash
# The main job: builds the programs the demo runs (scripts/demo-steps.sh) and runs it under
# Wine. Each stage prints one line with the build's progress and its time; a build's whole
# output goes to build/<preset>/demo-build.log (configure: demo-configure.log), and its errors
# are shown when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine-env.sh
. scripts/progress.sh
if vl_can_run_i386; then
  preset=windows arch=win32 width=i686
else
  preset=win64 arch=win64 width=x86_64
fi
# What demo-steps.sh starts: Ordalin, the stand-in client and tessaly.exe, the crash sample and
# the GUI sample's test (which builds the GUI sample).
targets=(ordalin stand_in_client stand_in_tessaly crash_sample gui_sample_test)
vl_step "configuring the $preset preset ($width)" build/$preset/demo-configure.log \
  scripts/configure.sh $preset
vl_step "building the demo programs ($width)" build/$preset/demo-build.log \
  cmake --build --preset $preset -j"${VL_JOBS:-$(nproc)}" --target "${targets[@]}"
echo "starting the demo under Wine in a virtual display (a new Wine prefix takes a minute)..."
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
