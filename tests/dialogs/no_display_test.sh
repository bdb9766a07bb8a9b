#!/usr/bin/env bash
# The dialogs in a Wine session without a display (own prefix, no DISPLAY): each must return at
# once instead of blocking the program.
#   no_display_test.sh PROBE_EXE BUILD_DIR
set -u
probe=$1
build=$2
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
. "$scripts/wine-env.sh"
machine=$(od -An -tx1 -j "$(( $(od -An -tu4 -j60 -N4 "$probe") + 4 ))" -N2 "$probe" | tr -d ' ')
arch=win32
[ "$machine" = 6486 ] && arch=win64
unset DISPLAY WAYLAND_DISPLAY
vl_wine_env "$build/no-display" "$arch"
mkdir -p "$build/no-display"
vl_wine_prefix
out=$(timeout 120 "$VL_WINE" "$probe" 2>/dev/null | tr -d '\r')
rc=$?
wineserver -k 2>/dev/null || true
echo "$out"
fail=0
expect() {
  if ! grep -qF -- "$1" <<<"$out"; then echo "missing: $1"; fail=1; fi
}
[ $rc -eq 0 ] || { echo "probe ended with $rc"; fail=1; }
expect "dialog failed=0 painted=0 send=1 warning=Cannot show the DialogBox window."
expect "request shown=1 failed=0 text=[]"
expect "progress up=0"
exit $fail
