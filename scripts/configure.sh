#!/usr/bin/env bash
# Configures a preset (CMakePresets.json): scripts/configure.sh PRESET [cmake args...]
# A build folder made earlier by another generator (the presets used Makefiles before Ninja)
# loses its CMake cache first, so the build starts over there instead of failing; everything
# else in it (the Wine prefix, the logs) stays.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=$1
shift
folder=$root/build/$preset
if [ -f "$folder/CMakeCache.txt" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$folder/CMakeCache.txt"; then
  echo "configure.sh: $folder was made by another generator; configuring it anew" >&2
  rm -rf "$folder/CMakeCache.txt" "$folder/CMakeFiles"
fi
cd "$root"
exec cmake --preset "$preset" "$@"
