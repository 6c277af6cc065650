#!/usr/bin/env bash
# The Wine prefix of the display-scaling run: a prefix of its own, so that
# the screen of every other test stays at 96 DPI.
#   scaled_prefix.sh start PREFIX WINE-RUN [--win64]   screen at 144 DPI (150 %)
#   scaled_prefix.sh stop PREFIX                        its wineserver ends
# WINE-RUN is tools/wine-run.sh, which makes the prefix on first use.
set -euo pipefail
action=$1 prefix=$2
shift 2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export UPDATER_WINEPREFIX=$prefix UPDATER_WINEPREFIX64=$prefix

if [ "$action" = stop ]; then
  [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  exit 0
fi
# New processes read LogPixels when they start.
"$@" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f
"$@" reg import "Z:${here//\//\\}\\unmanaged_windows.reg"
