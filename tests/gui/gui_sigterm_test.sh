#!/usr/bin/env bash
# velkopc with its window on a (private, virtual) X display ends in order on SIGTERM, as the
# headless server does: Qt's own threads must not take the signal.
#   gui_sigterm_test.sh VELKOPC SOURCE_DIR
set -euo pipefail
velkopc=$1 root=$2
work=$(mktemp -d)
xvfb_pid="" bus_pid="" server_pid=""
finish() {
  local status=$?
  [ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null || true
  for pid in $bus_pid $xvfb_pid; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT
source "$(dirname "$0")/xvfb_display.sh"
start_xvfb "$work"
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(
  dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
export VELKOPC_SETTINGS="$work/settings.reg" VELKOPC_USER_SETTINGS="$work/user.reg"
export VELKOPC_INSTANCE_NAME="velk-gui-sigterm-$$"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\r\n"FileName"="%s/trace.txt"\r\n' "$work" >"$work/settings.reg"
"$velkopc" "$root/demo/plant.vlk" >"$work/server.log" 2>&1 &
server_pid=$!
for ((i = 0; i < 300; i++)); do
  iconv -f UTF-16LE -t UTF-8 "$work/trace.txt" 2>/dev/null | grep -q "Server started" && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
  sleep 0.1
done
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" = 0 ] || { echo "gui-sigterm: velkopc ended with $status" >&2; exit 1; }
iconv -f UTF-16LE -t UTF-8 "$work/trace.txt" | grep -q "Velk Modbus OPC Server stopped" ||
  { echo "gui-sigterm: no orderly shutdown in the trace" >&2; exit 1; }
echo "gui-sigterm: passed"
