#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's private prefix
# (created on first use) and a virtual screen when there is no display.
#   tools/wine-run.sh program.exe [arguments...]
#   tools/wine-run.sh --win64 program.exe [arguments...]
# --win64 runs a 64-bit program in a 64-bit prefix of its own: the way the
# Windows tests run on a kernel that cannot start 32-bit programs, where the
# 32-bit Wine loader fails with "Exec format error".
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

if [ "${1:-}" = "--win64" ]; then
  shift
  export WINEPREFIX=${UPDATER_WINEPREFIX64:-$root/build/wine-prefix64}
  export WINEARCH=win64
  loader=/usr/lib/wine/wine64
else
  export WINEPREFIX=${UPDATER_WINEPREFIX:-$root/build/wine-prefix}
  export WINEARCH=win32
  loader=wine
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Creating a prefix takes about 20 s; do it once, and only one caller at a time.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$loader" wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi

if [ -z "${DISPLAY:-}" ]; then
  display=:${UPDATER_XVFB_DISPLAY:-77}
  if ! xdpyinfo -display "$display" >/dev/null 2>&1; then
    (
      flock 9
      if ! xdpyinfo -display "$display" >/dev/null 2>&1; then
        nohup Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        for _ in $(seq 50); do
          xdpyinfo -display "$display" >/dev/null 2>&1 && break
          sleep 0.1
        done
      fi
    ) 9>"/tmp/updater-xvfb${display#:}.lock"
  fi
  export DISPLAY=$display
fi

exec "$loader" "$@"
