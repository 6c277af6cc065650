#!/usr/bin/env bash
# catalog-tool in one command, for a publisher: builds build/native/catalog-tool
# when it is missing or older than its sources (installing what is missing and
# configuring the native build first when there is none), then runs it with
# the arguments given. Exit code: the tool's own; 2 when it cannot be built.
#   tools/catalog-tool.sh make SERVER_FOLDER
#   tools/catalog-tool.sh check SOURCE
# The set-up and build print nothing unless they fail, so the output is the
# tool's alone.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
native=${UPDATER_BUILD:-$root/build}/native

log=$(mktemp)

quietly() {  # quietly WHAT COMMAND...: the command's output only when it fails
  local what=$1; shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "catalog-tool.sh: $what failed" >&2
    exit 2
  fi
}

build() {
  if [ ! -f "$native/build.ninja" ]; then
    quietly "set-up" "$here/setup.sh"
    quietly "configuring $native" cmake -S "$root" -B "$native" -G Ninja \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  quietly "building catalog-tool" ninja -C "$native" catalog-tool
}

# One build at a time: two publishers' commands may start together.
mkdir -p "$(dirname "$native")"
exec 9>"$native.lock"
flock 9
build
exec 9>&-
rm -f "$log"

exec "$native/catalog-tool" "$@"
