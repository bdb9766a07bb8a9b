# Sourced by the project's scripts: the Wine settings of one build tree.
#   vl_wine_env BUILD_DIR ARCH   (ARCH: win32 or win64)
vl_wine_env() {
  export WINEPREFIX="$1/wineprefix"
  export WINEARCH="$2"
  export WINEDEBUG=-all
  # No Mono/Gecko prompts; no test may start the host's browser or mail program (Wine's
  # mailto handler and its MAPI bridge).
  export WINEDLLOVERRIDES="mscoree,mshtml=;winebrowser.exe,winemapi=d"
  if [ "$2" = win64 ]; then VL_WINE=/usr/lib/wine/wine64; else VL_WINE=wine; fi
  export VL_WINE
}

# True when this machine can execute 32-bit x86 user code (32-bit Wine needs it).
vl_can_run_i386() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Creates the prefix once per build tree and sets what the tests rely on.
vl_wine_prefix() {
  [ -f "$WINEPREFIX/.vl-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  "$VL_WINE" wineboot -i >/dev/null 2>&1 || true
  "$VL_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$VL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
  touch "$WINEPREFIX/.vl-ready"
}

# Starts one persistent wineserver for a run of many processes.
vl_wine_start() {
  wineserver -p
  "$VL_WINE" wineboot >/dev/null 2>&1 || true
}

vl_wine_stop() {
  wineserver -k 2>/dev/null || true
}
