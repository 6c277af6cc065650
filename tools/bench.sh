#!/usr/bin/env bash
# The benchmark: builds updater_bench for both families (Release), starts
# the local web servers, and prints one table for the native build and one
# for the Windows build under Wine, every figure against a baseline measured
# in the same run (md5sum, curl, cat, a memchr line count). A report, never
# a test: a missed target is printed as MISS; the exit code is non-zero only
# when a measurement could not be made.
#   tools/bench.sh          both builds
#   tools/bench.sh native   the native build only
#   tools/bench.sh win32    the Windows build only (its baselines are still
#                           measured natively, just before it runs)
# The files (about 400 MiB) are made once in build/bench-data and reused.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${UPDATER_BUILD:-$root/build}")
which=${1:-both}
case "$which" in
  both|native|win32) ;;
  *) echo "usage: tools/bench.sh [both|native|win32]" >&2; exit 2 ;;
esac

"$here/setup.sh" || exit 1

servers_dir=$build/bench-servers
data_dir=$build/bench-data
baselines=$data_dir/baselines.txt
native_bench=$build/bench-native/bench/updater_bench
# The Windows build is the 32-bit one, unless this kernel cannot start 32-bit
# programs (no ia32 emulation): then the same sources built for 64-bit
# Windows run under 64-bit Wine, and the table says so.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  windows_build=win32 windows_toolchain=mingw-i686.cmake wine_flags=()
else
  windows_build=win64 windows_toolchain=mingw-x86_64.cmake wine_flags=(--win64)
fi
win32_bench=$build/bench-$windows_build/bench/updater_bench.exe

build_bench() {  # DIR cmake-arguments...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null &&
    ninja -C "$dir" -j2 updater_bench >/dev/null
}

# The path a Windows program under Wine opens for a Unix path.
wine_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

echo "bench: building"
build_bench "$build/bench-native" || exit 1
if [ "$which" != native ]; then
  build_bench "$build/bench-$windows_build" \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$windows_toolchain" || exit 1
fi

python3 "$root/tests/servers/servers.py" start --dir "$servers_dir" || exit 1
trap 'python3 "$root/tests/servers/servers.py" stop --dir "$servers_dir" >/dev/null' EXIT
servers=$servers_dir/servers.ini

# The files are made by a process of their own, so that the measuring runs
# start with nothing large ever allocated (the memory figure depends on it).
"$native_bench" --data "$data_dir" --servers "$servers" --prepare-only || exit 1

rc=0
if [ "$which" != win32 ]; then
  echo
  echo "==== native build"
  "$native_bench" --data "$data_dir" --servers "$servers" --write-baselines "$baselines" || rc=1
fi
if [ "$which" != native ]; then
  if [ "$which" = win32 ]; then
    "$native_bench" --data "$data_dir" --servers "$servers" --baselines-only \
        --write-baselines "$baselines" >/dev/null || rc=1
  fi
  echo
  echo "==== $windows_build build under Wine (baselines: the native tools, measured in this run)"
  "$here/wine-run.sh" "${wine_flags[@]}" "$win32_bench" --data "$(wine_path "$data_dir")" \
      --servers "$(wine_path "$servers")" --baselines "$(wine_path "$baselines")" || rc=1
fi
exit $rc
