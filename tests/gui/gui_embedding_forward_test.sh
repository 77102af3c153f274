#!/usr/bin/env bash
# A server that a client started ("-Embedding") on a (private, virtual) X display has no
# window; a user's start of the program brings it forward: its main window is made and shown
# and the second process ends.
#   gui_embedding_forward_test.sh VELKOPC SOURCE_DIR
set -euo pipefail
velkopc=$1 root=$2
source "$(dirname "$0")/server_display_env.sh"
start_server_display "velk-gui-embedding-$$"
fail() { echo "embedding-forward: $*" >&2; cat "$work/server.log" >&2; exit 1; }
# No client follows the start: the idle end must not come during the test.
export VELKOPC_DBUS_IDLE_EXIT_MS=600000

# The server's viewable top-level windows titled as its main window.
main_windows() {
  xwininfo -root -children 2>/dev/null | grep -o '^ *0x[0-9a-f]* "[^"]*VELK A&E OPC Server"' |
    while read -r id _; do
      xwininfo -id "$id" | grep -q 'Map State: IsViewable' && echo "$id"
    done || true
}

"$velkopc" -Embedding "$root/demo/plant.vlk" >"$work/server.log" 2>&1 &
server_pid=$!
wait_for_server_start || fail "the -Embedding server did not start"
[ -z "$(main_windows)" ] || fail "a server started by a client shows a window"

"$velkopc" >"$work/second.log" 2>&1 || fail "the second start ended with $?: $(cat "$work/second.log")"
grep -q "asked to come forward" "$work/second.log" || fail "the second start did not reach the server"
for ((i = 0; i < 100; i++)); do
  [ -n "$(main_windows)" ] && break
  sleep 0.1
done
[ -n "$(main_windows)" ] || fail "the running server's window was not shown"
kill -0 "$server_pid" 2>/dev/null || fail "the server ended when it was brought forward"

kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" = 0 ] || fail "velkopc ended with $status"
echo "embedding-forward: passed"
