#!/usr/bin/env bash
# Runs a delivery test against the loopback peers of peers.py: starts them in a fresh folder,
# passes their ports in the environment, runs the test, checks every received message with
# Python's email package, stops them.
#   run-with-peers.sh OUT_DIR COMMAND...
set -u
here=$(cd "$(dirname "$0")" && pwd)
out=$1
shift
rm -rf "$out"
mkdir -p "$out"
/usr/bin/python3 "$here/peers.py" serve "$out" >"$out/peers.out" 2>&1 &
peers=$!
trap 'kill $peers 2>/dev/null; wait $peers 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -f "$out/ports.env" ] && break
  kill -0 $peers 2>/dev/null || { cat "$out/peers.out"; exit 1; }
  sleep 0.1
done
[ -f "$out/ports.env" ] || { echo "peers did not start"; cat "$out/peers.out"; exit 1; }
. "$out/ports.env"
export VL_PEER_DIR="$out"
rc=0
"$@" || rc=$?
/usr/bin/python3 "$here/peers.py" check "$out" || rc=1
exit $rc
