# Shell functions shared by tools/demo.sh and tools/test.sh, sourced, not
# run: a virtual screen of the caller's own on a free display, and the
# wineserver of a prefix. What a script starts with them, it stops again.

display_in_use() {  # display_in_use N
  [ -e "/tmp/.X$1-lock" ] || [ -e "/tmp/.X11-unix/X$1" ] ||
    xdpyinfo -display ":$1" >/dev/null 2>&1
}

# Starts Xvfb on :N and sets xvfb_pid; fails when the number was taken
# meanwhile or the server did not come up within 5 s.
start_xvfb() {  # start_xvfb N
  Xvfb ":$1" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    xdpyinfo -display ":$1" >/dev/null 2>&1 && return 0
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
  return 1
}

# Starts Xvfb on the first free display from :FIRST to :LAST and sets
# xvfb_number and xvfb_pid. Another user may take a number between the look
# and the start, so a failed start moves on to the next.
start_free_xvfb() {  # start_free_xvfb FIRST LAST
  local candidate
  xvfb_number=""
  for candidate in $(seq "$1" "$2"); do
    display_in_use "$candidate" && continue
    if start_xvfb "$candidate"; then
      xvfb_number=$candidate
      return 0
    fi
  done
  return 1
}

stop_xvfb() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}

# True while a wineserver serves PREFIX (Wine names its socket's folder by
# the prefix's device and inode).
wineserver_runs() {  # wineserver_runs PREFIX
  [ -d "$1" ] || return 1
  [ -S "$(printf '/tmp/.wine-%s/server-%x-%x/socket' "$(id -u)" "$(stat -c %d "$1")" \
    "$(stat -c %i "$1")")" ]
}
