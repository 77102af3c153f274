#!/usr/bin/env bash
# velkopc with its window on a (private, virtual) X display ends in order on SIGTERM, as the
# headless server does: Qt's own threads must not take the signal.
#   gui_sigterm_test.sh VELKOPC SOURCE_DIR
set -euo pipefail
velkopc=$1 root=$2
source "$(dirname "$0")/server_display_env.sh"
start_server_display "velk-gui-sigterm-$$"
"$velkopc" "$root/demo/plant.vlk" >"$work/server.log" 2>&1 &
server_pid=$!
wait_for_server_start
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" = 0 ] || { echo "gui-sigterm: velkopc ended with $status" >&2; exit 1; }
iconv -f UTF-16LE -t UTF-8 "$work/trace.txt" | grep -q "Velk Modbus OPC Server stopped" ||
  { echo "gui-sigterm: no orderly shutdown in the trace" >&2; exit 1; }
echo "gui-sigterm: passed"
