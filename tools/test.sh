#!/usr/bin/env bash
# The whole test suite, from a fresh clone: installs what is missing, builds
# both families and runs every test.
#   native      the core over the POSIX layer, GoogleTest
#   sanitizers  the same tests under AddressSanitizer and UBSan
#   fuzz        libFuzzer on the catalog parser and the INI code
#   win32       the same tests cross-built with mingw-w64, run under Wine
#               (as a 64-bit build when the kernel runs no 32-bit programs)
# Every stage runs even when an earlier one failed; the summary at the end
# tells which passed, and the exit code is non-zero when any failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${UPDATER_BUILD:-$root/build}
fuzz_seconds=${UPDATER_FUZZ_SECONDS:-60}
cd "$root"

"$here/setup.sh" || exit 1

declare -a summary
failed=0

stage() {  # stage NAME COMMAND...
  local name=$1; shift
  echo
  echo "==== $name"
  if "$@"; then
    return 0
  fi
  failed=1
  summary+=("$name: FAILED")
  return 1
}

configure_and_build() {  # DIR cmake-arguments...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null && ninja -C "$dir"
}

run_ctest() {  # NAME DIR [ctest arguments...]
  local name=$1 dir=$2 log
  shift 2
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure --timeout 600 "$@") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  summary+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -1)")
  rm -f "$log"
  return "$rc"
}

run_fuzzer() {  # TARGET CORPUS SECONDS
  local target=$1 corpus=$2 seconds=$3 work log
  work="$build/fuzz-corpus/$target"
  mkdir -p "$work"
  log=$(mktemp)
  "$build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz-corpus/$target-" "$work" "$corpus" >"$log" 2>&1
  local rc=$?
  tail -n 12 "$log"
  local runs
  runs=$(grep -oE 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    summary+=("fuzz $target: ${runs:-?}s, no crash, no sanitizer report")
  else
    summary+=("fuzz $target: FAILED (see $build/fuzz-corpus)")
  fi
  rm -f "$log"
  return "$rc"
}

stage "native build" configure_and_build "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  stage "native tests" run_ctest native "$build/native" -j2

stage "sanitizer build" configure_and_build "$build/asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DUPDATER_SANITIZE=ON &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  stage "sanitizer tests" run_ctest sanitizers "$build/asan" -j2

if stage "fuzz build" configure_and_build "$build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DUPDATER_FUZZ=ON; then
  stage "fuzz catalog" run_fuzzer catalog_fuzz "$root/fuzz/corpus/catalog" "$fuzz_seconds"
  stage "fuzz ini" run_fuzzer ini_fuzz "$root/fuzz/corpus/ini" $(( (fuzz_seconds + 3) / 4 ))
fi

# Whether this kernel starts 32-bit programs at all. One started without
# ia32 emulation refuses the 32-bit Wine loader ("Exec format error"); the
# Windows tests then run from the same sources built for 64-bit Windows,
# under 64-bit Wine, and the 32-bit product is built and its file checked.
runs_32bit_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The Windows tests draw on a virtual screen of the suite's own, on a free
# display, which the suite stops again at its end, with the wineservers of
# the build's prefixes that it started.
. "$here/xvfb.sh"
xvfb_pid=""
prefixes_to_stop=()
for prefix in "$build/wine-prefix" "$build/wine-prefix64"; do
  wineserver_runs "$prefix" || prefixes_to_stop+=("$prefix")
done
stop_what_the_suite_started() {
  local prefix
  for prefix in "${prefixes_to_stop[@]}"; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  done
  stop_xvfb
}
trap stop_what_the_suite_started EXIT
if [ -z "${DISPLAY:-}" ] && [ -z "${UPDATER_XVFB_DISPLAY:-}" ]; then
  if start_free_xvfb 140 239; then
    export UPDATER_XVFB_DISPLAY=$xvfb_number
  else
    echo "NOTE: found no free display for a virtual screen; the Windows tests will fail"
  fi
fi

if runs_32bit_programs; then
  stage "win32 build" configure_and_build "$build/win32" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" &&
    stage "win32 tests under Wine" run_ctest "win32 (Wine)" "$build/win32"
else
  echo
  echo "NOTE: this kernel cannot start 32-bit programs (no ia32 emulation); the"
  echo "Windows tests run as a 64-bit build under 64-bit Wine instead."
  summary+=("note: no 32-bit programs on this kernel; Windows tests ran as 64-bit")
  stage "win32 build" configure_and_build "$build/win32" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" &&
    stage "win32 program file" run_ctest "win32 (file checks)" "$build/win32" -L no_wine
  stage "win64 build" configure_and_build "$build/win64" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" &&
    stage "win64 tests under Wine" run_ctest "win64 (Wine)" "$build/win64"
fi

echo
echo "==== Summary"
for line in "${summary[@]}"; do echo "  $line"; done
if [ $failed -ne 0 ]; then
  echo "SOME STAGES FAILED"
  exit 1
fi
echo "ALL STAGES PASSED"
