#!/usr/bin/env bash
# The publisher's path of the README, end to end, on a fresh server folder:
# lay out scripts, `tools/catalog-tool.sh make`, add the hand-written lines,
# make again, check the folder, forget a make and see check say so, then
# serve the folder with the local nginx and check it over HTTP.
#   tests/publisher_path.sh PYTHON3
# The native build of the tool is the one tools/catalog-tool.sh builds
# (UPDATER_BUILD/native). Exit 0 when every step did what the README says.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
python3=${1:-python3}
tool="$root/tools/catalog-tool.sh"

work=$(mktemp -d)
servers="$work/servers"
cleanup() {
  if [ -f "$servers/pids" ]; then "$python3" "$here/servers/servers.py" stop --dir "$servers"; fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect EXIT_CODE PATTERN-OR-EMPTY COMMAND...: the exit code, and a line of
# the output matching the pattern.
expect() {
  local code=$1 pattern=$2 out rc
  shift 2
  out=$("$@" 2>&1); rc=$?
  echo "\$ ${*#$root/}  -> $rc"
  echo "$out" | sed 's/^/    /'
  [ "$rc" = "$code" ] || fail "'$*' exited with $rc, not $code"
  if [ -n "$pattern" ] && ! grep -qE -- "$pattern" <<<"$out"; then
    fail "'$*' said nothing matching '$pattern'"
  fi
}

server="$work/server"
put() { mkdir -p "$(dirname "$server/$1")"; printf '%s' "$2" >"$server/$1"; }
put "Auto Loot/main.lua" "-- main"
put "Auto Loot/lib/util/strings.lua" "-- strings"
put "Auto Loot/settings.ini" "volume=5"
put "Map Markers/main.lua" "-- markers"

# Step 2: write the catalog, add the lines a publisher writes by hand, and
# make again: the hand-written lines stay.
expect 0 "written: 2 scripts, 4 files" "$tool" make "$server"
sed -i -e 's/^\[Auto Loot\]$/[Auto Loot]\nversion = 1.0\ndesc = Picks up loot.\nnote = First release./' \
       -e 's/^\[Map Markers\]$/[Map Markers]\nversion = 0.9/' \
       -e 's/^file = settings.ini|/keep = settings.ini|/' "$server/scripts.txt"
expect 0 "up to date: 2 scripts, 4 files" "$tool" make "$server"
grep -q '^note = First release\.$' "$server/scripts.txt" || fail "make dropped the note"
grep -q '^keep = settings.ini|' "$server/scripts.txt" || fail "make dropped the keep line"

# Step 4 on the folder: all well, then a file put there without make.
expect 0 "0 errors, 0 warnings" "$tool" check "$server"
put "Auto Loot/lib/new.lua" "-- new"
expect 0 "new.lua: warning: the file is not in the catalog" "$tool" check "$server"
expect 0 "warning: files of \[Auto Loot\] changed since version '1.0' was written" \
  "$tool" make "$server"
grep -q '^file = lib/new.lua|' "$server/scripts.txt" || fail "make did not add lib/new.lua"

# Step 3 and 4: served by nginx, checked over HTTP.
if ! "$python3" "$here/servers/servers.py" start --dir "$servers" --www "$server" >/dev/null; then
  fail "the local servers did not start"
else
  port=$(sed -n 's/^http_port=//p' "$servers/servers.ini")
  expect 0 "0 errors, 0 warnings" "$tool" check "http://127.0.0.1:$port/"
  printf '%s' "-- changed" >"$server/Map Markers/main.lua"
  expect 1 "Map%20Markers/main.lua has the digest .*refuses every download" "$tool" check "http://127.0.0.1:$port"
fi

# Signed catalogs: sign, refuse what would lock users out, move to a new key.
keys="$work/keys"
mkdir -p "$keys"
expect 0 "^key=p256:" "$tool" keygen "$keys/old.pem"
old=$("$tool" key "$keys/old.pem" | sed -n 's/^key=//p')
expect 0 "written and signed, serial 1" "$tool" make "$server" --sign "$keys/old.pem"
expect 1 "error: the catalog is signed" "$tool" make "$server"
expect 0 "signature is valid" "$tool" check "$server" --key "$old"
expect 0 "scripts.txt.sig lies beside the catalog, but without --key" "$tool" check "$server"
rm "$server/scripts.txt" "$server/scripts.txt.sig"
expect 0 "written and signed, serial 2" "$tool" make "$server" --sign "$keys/old.pem"
expect 1 "--serial 2 is not above 2" "$tool" make "$server" --sign "$keys/old.pem" --serial 2
mv "$server/Auto Loot/settings.ini" "$server/Auto Loot/Settings.ini"
expect 1 "differs only in case from the file on disk 'Settings.ini'" \
  "$tool" make "$server" --sign "$keys/old.pem"
mv "$server/Auto Loot/Settings.ini" "$server/Auto Loot/settings.ini"
expect 0 "^key=p256:" "$tool" keygen "$keys/new.pem"
new=$("$tool" key "$keys/new.pem" | sed -n 's/^key=//p')
# A key is base64: its '+' must not count as a pattern's repeat.
expect 0 "names the next key ${new//+/\\+}" \
  "$tool" make "$server" --sign "$keys/old.pem" --next-key "$keys/new.pem"
expect 0 "names the next key" "$tool" check "$server" --key "$old"
expect 0 "written and signed, serial 4" "$tool" make "$server" --sign "$keys/new.pem"
expect 0 "signature is valid \(key 2 of 2\)" "$tool" check "$server" --key "$old $new"
grep -q '^nextkey' "$server/scripts.txt" && fail "the nextkey line stayed after the move"

[ "$failures" = 0 ] && echo "publisher path: all steps as the README says"
exit $((failures > 0))
