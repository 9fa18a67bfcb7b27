# Shared by the scripts: paths and the private Wine prefix.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KG_BUILD_DIR:-$ROOT/build}
JOBS=${KG_JOBS:-$(nproc)}

# Runs scripts/setup when a tool that the named builds need is missing (a fresh machine).
# Names: native, fuzz, win64, win32, bench; none means everything.
kg_ensure_setup() {
  local needs=(cmake ninja) t gtest=0
  [ $# -gt 0 ] || set -- native fuzz win64 win32 bench
  for t in "$@"; do
    case $t in
      native) needs+=(g++ xmllint); gtest=1 ;;
      fuzz) needs+=(clang) ;;
      win64) needs+=(x86_64-w64-mingw32-g++-posix wine xvfb-run); gtest=1 ;;
      win32) needs+=(i686-w64-mingw32-g++-posix) ;;
      bench) needs+=(g++) ;;
    esac
  done
  for t in "${needs[@]}"; do
    if ! command -v "$t" >/dev/null 2>&1; then "$ROOT/scripts/setup"; return; fi
  done
  [ $gtest -eq 0 ] || [ -f /usr/src/googletest/CMakeLists.txt ] || { "$ROOT/scripts/setup"; return; }
  # The native tests read numbers once under a decimal-comma locale.
  if [[ " $* " == *" native "* ]] && ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then "$ROOT/scripts/setup"; fi
}

# A private Wine prefix: never the user's. Reused under the build folder during development;
# CI (CI set) makes a throw-away one and removes it at exit.
kg_wine_prefix() {
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export TMPDIR=${TMPDIR:-/tmp}
  if [ -n "${CI:-}" ]; then
    WINEPREFIX=$(mktemp -d "$BUILD/wineprefix.XXXXXX")
    export WINEPREFIX
    trap 'wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
  else
    export WINEPREFIX=$BUILD/wineprefix
    mkdir -p "$WINEPREFIX"
  fi
  # A persistent server with stdio detached: otherwise Wine's helpers hold ctest's pipes.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 180 wineboot -i </dev/null >/dev/null 2>&1 || true
    # No crash dialog: a crashing test would hang under Xvfb.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
  fi
}
