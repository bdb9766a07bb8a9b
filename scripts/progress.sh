# Sourced by the project's scripts: a long step, such as a build, shown on one line.
#   vl_step LABEL LOG COMMAND...
# prints "LABEL... ", then the build's progress each time it passes a tenth, then
# "done in N s". The command's whole output goes to LOG. When the command fails, its error
# lines and the end of LOG are shown, and vl_step returns the command's exit status.
vl_step() {
  local label=$1 log=$2 begin=$SECONDS rc=0 targets=0 arg counting=0
  local -
  set -o pipefail
  shift 2
  # A build of several targets (--target a b c) counts each one from 0 to 100%: the overall
  # figure is the targets done plus the share of the current one.
  for arg in "$@"; do
    if [ $counting = 1 ]; then
      case $arg in -*) counting=0 ;; *) targets=$((targets + 1)) ;; esac
    fi
    [ "$arg" = --target ] && counting=1
  done
  mkdir -p "$(dirname "$log")"
  printf '%s...' "$label"
  # Make prints "[ 45%]" before its lines, Ninja "[12/345]".
  "$@" 2>&1 | tee "$log" | awk -v targets=$((targets > 0 ? targets : 1)) '
    BEGIN { shown = 0; last = 0; done = 0 }
    { p = -1 }
    match($0, /^\[ *[0-9]+%\]/) { p = substr($0, 2, RLENGTH - 3) + 0 }
    match($0, /^\[[0-9]+\/[0-9]+\]/) { split(substr($0, 2, RLENGTH - 2), n, "/"); p = int(100 * n[1] / n[2]) }
    p >= 0 {
      if (p < last && done < targets - 1) ++done
      last = p
      all = int((100 * done + p) / targets)
      if (int(all / 10) > shown) { shown = int(all / 10); printf " %d%%", all; fflush() }
    }' || rc=$?
  if [ $rc = 0 ]; then
    echo " done in $((SECONDS - begin)) s"
  else
    echo " FAILED after $((SECONDS - begin)) s (exit $rc); the whole output is in $log"
    grep -E -i '(error|undefined reference|No rule to make target)' "$log" | head -n 40 || true
    echo "--- the end of $log:"
    tail -n 20 "$log"
  fi
  return $rc
}
