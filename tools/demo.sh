#!/usr/bin/env bash
# The demo: Updater.exe under Wine against the bundled demo server (demo/),
# with a scripts folder made fresh under build/demo in which the scripts
# stand in different states: not installed, with updates, up to date.
#
#   tools/demo.sh
#
# Installs what is missing (tools/setup.sh), builds the Windows program,
# and opens its window. With a display you use it like any program and the
# script ends when you close it. Without one it runs on a virtual screen of
# its own (UPDATER_XVFB_DISPLAY=N chooses the number; otherwise the first
# free one from :90 on), waits until the check is done, saves a screenshot
# of the window, prints the screenshot's path, and closes the program again.
# On its way out it stops the virtual screen it started, and the prefix's
# wineserver when none ran before it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${UPDATER_BUILD:-$root/build}
demo=$build/demo
server=$root/demo
. "$here/xvfb.sh"

"$here/setup.sh"

# The 32-bit program, as shipped; on a kernel that starts no 32-bit programs
# (no ia32 emulation) the same sources built for 64-bit Windows, under
# 64-bit Wine.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  win32=$build/win32 toolchain=mingw-i686.cmake
  wine=("$root/tools/wine-run.sh")
  prefix=${UPDATER_WINEPREFIX:-$root/build/wine-prefix}
else
  echo "demo: this kernel starts no 32-bit programs; running the 64-bit build"
  win32=$build/win64 toolchain=mingw-x86_64.cmake
  wine=("$root/tools/wine-run.sh" --win64)
  prefix=${UPDATER_WINEPREFIX64:-$root/build/wine-prefix64}
fi

echo "demo: building Updater.exe in $win32"
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >/dev/null
ninja -C "$win32" Updater e2e_driver >/dev/null

# A Unix path as Windows programs under Wine see it.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# ---- a fresh scripts folder, as a user might have it --------------------------
rm -rf "$demo"
mkdir -p "$demo/scripts"
place() {  # place SCRIPT FILE: the published file, as installed
  mkdir -p "$(dirname "$demo/scripts/$1/$2")"
  cp "$server/$1/$2" "$demo/scripts/$1/$2"
}
# Auto Loot: an older main.lua, rarity.csv missing, the user's own settings.
place "Auto Loot" filters.lua
place "Auto Loot" lib/util/strings.lua
printf -- '-- Auto Loot 2.2\n' >"$demo/scripts/Auto Loot/main.lua"
printf '; mine\nmin_rarity=4\n' >"$demo/scripts/Auto Loot/settings.ini"
# Map Markers: up to date.
for file in main.lua icons/flag.txt icons/star.txt markers.ini; do place "Map Markers" "$file"; done
# Bite Chime: sounds.lua missing. Errand Compass and Combat Log: not installed.
place "Bite Chime" main.lua

cp "$win32/Updater.exe" "$demo/Updater.exe"
printf '[updater]\r\nurl=%s\r\nfolder=%s\r\n' "$(wine_path "$server")" \
  "$(wine_path "$demo/scripts")" >"$demo/updater.ini"
echo "demo: $demo/Updater.exe with its updater.ini:"
sed 's/\r$//; s/^/    /' "$demo/updater.ini"

app_key='HKCU\Software\Wine\AppDefaults\Updater.exe\X11 Driver'

# ---- what this script starts, it stops again ----------------------------------
xvfb_pid=""
stop_wineserver=0

if ! wineserver_runs "$prefix"; then
  stop_wineserver=1  # none runs for this prefix yet: the one the demo starts is ours
fi

clean_up() {
  if [ "$stop_wineserver" = 1 ] && [ -d "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  fi
  stop_xvfb
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -n "${DISPLAY:-}" ]; then
  # A real desktop: let its window manager frame and move the window.
  "${wine[@]}" reg delete "$app_key" /v Managed /f >/dev/null 2>&1 || true
  echo "demo: opening the window; close it to end the demo"
  "${wine[@]}" "$demo/Updater.exe"
  exit 0
fi

# ---- no display: a virtual screen of our own ------------------------------------
# Without a window manager on it, Wine draws the window's frame itself.

if [ -n "${UPDATER_XVFB_DISPLAY:-}" ]; then
  # A display chosen by the caller: use it as it is, or start it.
  number=$UPDATER_XVFB_DISPLAY
  if ! xdpyinfo -display ":$number" >/dev/null 2>&1 && ! start_xvfb "$number"; then
    echo "demo: cannot start a virtual screen on :$number" >&2
    exit 1
  fi
else
  if ! start_free_xvfb 90 189; then
    echo "demo: found no free display between :90 and :189" >&2
    exit 1
  fi
  number=$xvfb_number
fi
display=:$number
export UPDATER_XVFB_DISPLAY=$number  # tools/wine-run.sh draws there too
echo "demo: virtual screen $display"

if ! "${wine[@]}" reg import "$(wine_path "$root/tests/e2e/unmanaged_windows.reg")" \
    >"$demo/wine.log" 2>&1; then
  echo "demo: Wine does not run here; see $demo/wine.log" >&2
  exit 1
fi
"${wine[@]}" "$demo/Updater.exe" >>"$demo/wine.log" 2>&1 &
app=$!
driver=("${wine[@]}" "$win32/tests/e2e/e2e_driver.exe")
if ! "${driver[@]}" --wait-until-checked 60; then
  echo "demo: the window did not finish its check; see $demo/wine.log" >&2
  kill "$app" 2>/dev/null || true
  exit 1
fi
sleep 1  # the last repaint

shot=$demo/updater-window.png
geometry=$(DISPLAY=$display xdotool search --name '^Zentora Script Updater - by Morvane$' \
  getwindowgeometry --shell 2>/dev/null | head -n 5 || true)
if [ -n "$geometry" ]; then
  eval "$geometry"
  DISPLAY=$display import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
else
  DISPLAY=$display import -window root "$shot"
fi

"${driver[@]}" --close >/dev/null || true
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
kill "$app" 2>/dev/null || true
echo "demo: no display, so the window ran on a virtual screen; its screenshot:"
echo "$shot"
