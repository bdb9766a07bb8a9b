#!/usr/bin/env bash
# What the demo shows, run inside the demo's display and Wine session. $1: the build tree.
set -euo pipefail
build=$1
echo "Running the runtime's sample program (its main block raises; the error box is answered):"
"$VL_WINE" "$build/tests/runtime/runtime_program_test.exe" --gtest_filter='ErrorBox.Language*'
