# Shared by the scripts: paths and the private Wine prefix.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KG_BUILD_DIR:-$ROOT/build}
JOBS=${KG_JOBS:-$(nproc)}

# Runs scripts/setup when a tool the builds need is missing (a fresh machine).
kg_ensure_setup() {
  local t
  for t in cmake ninja g++ x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix wine xvfb-run clang xmllint; do
    if ! command -v "$t" >/dev/null 2>&1; then "$ROOT/scripts/setup"; return; fi
  done
  [ -f /usr/src/googletest/CMakeLists.txt ] || "$ROOT/scripts/setup"
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
