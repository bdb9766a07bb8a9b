#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every preset and runs all tests.
#
# The product is 32-bit. Its tests run under 32-bit Wine where this machine can execute 32-bit
# user code; on a host that runs 64-bit user code only, the 32-bit build is still compiled (so it
# stays warning-free) and the same tests run from the 64-bit build under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine-env.sh
jobs=$(nproc)

cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"
ctest --preset host

cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
if vl_can_run_i386; then
  scripts/run-windows-tests.sh build/windows win32
else
  echo "This machine cannot execute 32-bit code: running the Windows tests from the 64-bit build."
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j"$jobs"
  scripts/run-windows-tests.sh build/win64 win64
fi
