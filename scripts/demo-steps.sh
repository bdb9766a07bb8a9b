#!/usr/bin/env bash
# What the demo shows, run inside the demo's display and Wine session. $1: the build tree.
# Ordalin is copied into a folder beside a stand-in tessaly.exe; a stand-in client window of class
# "TMainTessaly" titled "Qorvel" records what it receives.
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo/Ordalin demo"
rm -rf "$build/demo"
mkdir -p "$demo"
cp "$build/src/launcher/ordalin.exe" "$build/tests/launcher/tessaly.exe" "$demo/"
cd "$demo"

# Prints the client's records: the message's fields and the parameter string it carried.
show_messages() {
  local line hex text
  while IFS= read -r line; do
    hex=${line##*bytes=}
    text=$(printf '%s' "$hex" | sed -e 's/00$//' -e 's/../\\x&/g')
    printf '  %s\n  parameter string: "%b" (and its terminating zero)\n' "${line% bytes=*}" "$text"
  done <client.rec
}

# Waits (up to 20 s) until the command given succeeds.
wait_for() {
  local i
  for i in $(seq 1 200); do
    "$@" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "  (gave up waiting: $*)"
  return 1
}

echo "== 1. The client runs: the link is handed to its window with WM_COPYDATA"
"$VL_WINE" "$build/tests/launcher/stand_in_client.exe" Qorvel client.rec &
client=$!
wait_for test -e client.rec
echo "\$ ordalin.exe ordalin://call/12345/"
rc=0
"$VL_WINE" ordalin.exe "ordalin://call/12345/" || rc=$?
echo "  exit code $rc; the client received:"
show_messages
kill "$client" 2>/dev/null || true
wait "$client" 2>/dev/null || true

echo
echo "== 2. No client runs: tessaly.exe beside ordalin.exe is started with the parameter"
echo "\$ ordalin.exe ordalin://call/67890/"
rc=0
"$VL_WINE" ordalin.exe "ordalin://call/67890/" || rc=$?
echo "  exit code $rc; the stand-in tessaly.exe recorded:"
wait_for grep -q '^cwd=' tessaly.log && sed 's/^/  /' tessaly.log

echo
echo "== Session file written on every start (in the user's application-data folder):"
session=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -name tessaly.dat | head -n 1)
[ -n "$session" ] && sed 's/\r$//; s/^/  /' "$session"

echo
echo "== 3. The crash reporter: a console program carrying it fails three calls deep"
cd "$build/tests/pipeline"
rm -f crash_sample.vlf
echo "\$ crash_sample.exe throw"
rc=0
"$VL_WINE" crash_sample.exe throw >crash_sample.out || rc=$?
echo "  exit code $rc; standard output (the report, shortened):"
sed 's/\r$//' crash_sample.out | sed -n '1,20p;/^Call Stack/,/^$/p' | sed 's/^/  | /'
echo "  the log file crash_sample.vlf now holds $(grep -c '^VantorLog ' crash_sample.vlf) entry"
echo "  other ways a program dies, each logged by name (the program's own handler runs after):"
for kind in av abort terminate purevirtual overflow overflowthread; do
  rm -f crash_sample.vlf
  rc=0
  "$VL_WINE" crash_sample.exe "$kind" >/dev/null 2>&1 || rc=$?
  printf '    %-15s exit code %-10s%s %s\n' "$kind" "$rc" \
    "$(sed -n 's/\r$//; s/^ *2\.4 Type *: *\(.*\)$/\1/p' crash_sample.vlf 2>/dev/null | head -n 1)" \
    "$(grep -o '([0-9]* rows left out)' crash_sample.vlf 2>/dev/null | head -n 1)"
done

echo
echo "== 4. A GUI program: the exception dialog, driven as a user would, photographed"
rc=0
"$VL_WINE" "$build/tests/pipeline/gui_sample_test.exe" \
  --gtest_filter='GuiSample.ExceptionDialog*' >gui_sample.out 2>&1 || rc=$?
grep -E '^\[ +(OK|FAILED) +\]' gui_sample.out | sed 's/^/  /'
echo "  pictures of the compact and the detailed dialog:"
ls "$build"/test-artifacts/demo/crash_dialog_*.png | sed 's/^/    /'

echo
echo "== 5. The report mailed: the crash sample sends it to a loopback SMTP server"
peers="$build/demo/peers"
rc=0
"$root/tests/delivery/run-with-peers.sh" "$peers" \
  "$VL_WINE" "$build/tests/pipeline/crash_sample.exe" mail server >/dev/null 2>&1 || rc=$?
if [ -f "$peers/crashserver.eml" ]; then
  echo "  received by the server (with login); its headers and parts:"
  /usr/bin/python3 - "$peers/crashserver.eml" <<'PY'
import email, email.header, sys
msg = email.message_from_binary_file(open(sys.argv[1], "rb"))
for key in ("From", "To", "Subject", "Date", "Content-Type"):
    value = str(email.header.make_header(email.header.decode_header(msg[key] or "")))
    print(f"    {key}: {value}")
for part in msg.walk():
    if part.is_multipart():
        continue
    name = part.get_filename()
    size = len(part.get_payload(decode=True) or b"")
    print(f"    part: {part.get_content_type()}" + (f" {name} ({size} bytes)" if name else ""))
PY
else
  echo "  (no message arrived; exit status $rc)"
fi

echo
echo "== 6. The report uploaded: the crash sample posts it to a loopback crash-collection server"
echo "     (the Breakpad/Crashpad upload that Sentry, Socorro, Backtrace and BugSplat take)"
peers="$build/demo/upload-peers"
rc=0
"$root/tests/delivery/run-with-peers.sh" "$peers" \
  "$VL_WINE" "$build/tests/pipeline/crash_sample.exe" upload ok >/dev/null 2>&1 || rc=$?
if [ -f "$peers/ok.http" ]; then
  echo "  received by the server: a multipart/form-data POST with the fields"
  /usr/bin/python3 - "$peers/ok.http" "$peers/ok.dmp" <<'PY'
import email, email.policy, sys
msg = email.message_from_bytes(open(sys.argv[1], "rb").read(), policy=email.policy.default)
for part in msg.iter_parts():
    name = part.get_param("name", header="content-disposition")
    value = part.get_payload(decode=True)
    if part.get_filename():
        print(f"    {name}: file {part.get_filename()} ({part.get_content_type()}, {len(value)} bytes)")
    else:
        print(f"    {name}: {value.decode()!r}")
    if name == "upload_file_minidump":
        open(sys.argv[2], "wb").write(value)
PY
  echo "  winedump's summary of the minidump:"
  winedump dump "$peers/ok.dmp" | grep -E '^(Signature|NumberOfStreams|Stream \[)|^  (ThreadId|ExceptionCode|ExceptionAddress):|ModuleName: .*crash_sample' |
    sed 's/^/    /'
else
  echo "  (nothing arrived; exit status $rc)"
fi
