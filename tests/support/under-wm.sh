#!/usr/bin/env bash
# Runs a command on a private Xvfb display under the openbox window manager
# (set up by openbox-rc.xml beside this script), which hands the keyboard
# from window to window as a desktop does; the offscreen platform has no such
# thing.  Where a tool is missing it prints "SKIP: ..." and succeeds.
#   tests/support/under-wm.sh COMMAND [ARGUMENTS...]
set -euo pipefail
for tool in Xvfb openbox xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (tools/install-deps.sh --with-screens installs it)"
    exit 0
  fi
done
work=$(mktemp -d)
server='' wm=''
cleanup() {
  [ -z "$wm" ] || kill "$wm" 2>/dev/null || true
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to ten seconds for a file to be written; else shows the log.
await() {
  for _ in $(seq 100); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "$2 did not start:" >&2
  cat "$3" >&2
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
await "$work/display" Xvfb "$work/xvfb.log"
export DISPLAY=":$(cat "$work/display")"
# Its own configuration, so the user's settings play no part.
XDG_CONFIG_HOME=$work openbox --config-file "$(dirname "$0")/openbox-rc.xml" \
  --startup "sh -c 'echo up > $work/wm'" 2>"$work/wm.log" &
wm=$!
await "$work/wm" openbox "$work/wm.log"
QT_QPA_PLATFORM=xcb "$@"
