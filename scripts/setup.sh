#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine (run as root). Idempotent.
set -euo pipefail
need=0
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine xvfb-run cmake ninja clang++; do
  command -v "$tool" >/dev/null 2>&1 || need=1
done
[ -x /usr/lib/wine/wine64 ] || need=1
[ -x /usr/lib/wine/wine ] || need=1
[ -f /usr/src/googletest/CMakeLists.txt ] || need=1
[ -f /usr/i686-w64-mingw32/lib/libz.a ] || need=1
[ -f /usr/x86_64-w64-mingw32/lib/libz.a ] || need=1
# The loopback mail and name-server peers of the delivery tests (run by /usr/bin/python3).
/usr/bin/python3 -c "import aiosmtpd, dnslib" >/dev/null 2>&1 || need=1
# Their TLS peers' certificates are made by the openssl command at every run.
command -v openssl >/dev/null 2>&1 || need=1
[ -f /usr/include/png.h ] || need=1
# winedump (wine64-tools): the upload tests' independent reader of the minidumps.
command -v winedump >/dev/null 2>&1 || need=1
[ -f /usr/share/i18n/locales/zh_CN ] || need=1
if [ $need = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  # A mirror caught mid-sync fails one index now and then: try again, then go on with what the
  # lists hold (the install below fails clearly if a package is really missing).
  for try in 1 2 3; do apt-get update -qq 2>/tmp/vl-apt-update.err && break; sleep 10; done || true
  # A mirror that keeps serving the index a sync replaced ("unexpected size") still serves a
  # whole, earlier index: take that one as it is, so that the 32-bit libraries can match the
  # versions of their 64-bit twins.
  grep -o "Failed to fetch http://[^ ]*/Packages.xz  File has unexpected size" /tmp/vl-apt-update.err |
    awk '{print $4}' | sort -u | while read -r url; do
      list=/var/lib/apt/lists/$(echo "${url#http://}" | sed 's|/|_|g; s|\.xz$||')
      if curl -fsS "$url" | xz -dc >"$list.part" 2>/dev/null && [ -s "$list.part" ]; then
        mv "$list.part" "$list"
        echo "setup: took the index $url as the mirror serves it (its size differs from the release's)" >&2
      else
        rm -f "$list.part"
      fi
    done
  common=(wine wine64 xvfb xauth
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    libz-mingw-w64-dev cmake ninja-build make googletest zlib1g-dev clang libclang-rt-14-dev locales
    python3-aiosmtpd python3-dnslib openssl libpng-dev wine64-tools)
  # 32-bit Wine needs every 32-bit library at the very version of its 64-bit twin. When a
  # mirror's stale 32-bit index makes that impossible, the rest is installed without it: the
  # i686 build is still compiled, and the suite says that its tests did not run.
  if ! apt-get install -y -qq --no-install-recommends "${common[@]}" wine32:i386 >/dev/null; then
    echo "setup: 32-bit Wine cannot be installed from this mirror now; i686 tests will not run" >&2
    apt-get install -y -qq --no-install-recommends "${common[@]}" >/dev/null
  fi
fi
# A Chinese locale: Wine takes a process's ANSI code page (936 under zh_CN) and the code page of
# its Unix file names from it; the double-byte file-name tests run under it.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
