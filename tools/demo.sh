#!/usr/bin/env bash
# The demo: Updater.exe under Wine against the bundled demo server (demo/),
# with a scripts folder made fresh under build/demo in which the scripts
# stand in different states: not installed, with updates, up to date.
#
#   tools/demo.sh
#
# Installs what is missing (tools/setup.sh), builds the Windows program,
# and opens its window. With a display you use it like any program and the
# script ends when you close it. Without one it runs on a virtual screen,
# waits until the check is done, saves a screenshot of the window, prints
# the screenshot's path, and closes the program again.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${UPDATER_BUILD:-$root/build}
win32=$build/win32
demo=$build/demo
server=$root/demo

"$here/setup.sh"

echo "demo: building Updater.exe in $win32"
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
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

wine=("$root/tools/wine-run.sh")
app_key='HKCU\Software\Wine\AppDefaults\Updater.exe\X11 Driver'

if [ -n "${DISPLAY:-}" ]; then
  # A real desktop: let its window manager frame and move the window.
  "${wine[@]}" reg delete "$app_key" /v Managed /f >/dev/null 2>&1 || true
  echo "demo: opening the window; close it to end the demo"
  "${wine[@]}" "$demo/Updater.exe"
  exit 0
fi

# No display: a virtual screen without a window manager (tools/wine-run.sh
# starts it), on which Wine draws the window's frame itself.
display=:${UPDATER_XVFB_DISPLAY:-77}
"${wine[@]}" reg import "$(wine_path "$root/tests/e2e/unmanaged_windows.reg")" >/dev/null 2>&1
"${wine[@]}" "$demo/Updater.exe" >"$demo/wine.log" 2>&1 &
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
