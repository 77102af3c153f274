# Sourced by the GUI process tests that run velkopc on a display: a work folder, a private
# virtual X display, a private session bus, the server's settings with its trace file in the
# work folder, and a trap that kills $server_pid, ends the bus and the display and removes the
# folder on exit.
#   start_server_display INSTANCE   sets work, DISPLAY, DBUS_SESSION_BUS_ADDRESS and VELKOPC_*
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_display.sh"
xvfb_pid="" bus_pid="" server_pid=""
finish_server_display() {
  local status=$?
  [ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null || true
  for pid in $bus_pid $xvfb_pid; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
start_server_display() {
  work=$(mktemp -d)
  trap finish_server_display EXIT
  start_xvfb "$work"
  { read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(
    dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS
  export VELKOPC_SETTINGS="$work/settings.reg" VELKOPC_USER_SETTINGS="$work/user.reg"
  export VELKOPC_INSTANCE_NAME="$1"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\r\n"FileName"="%s/trace.txt"\r\n' "$work" >"$work/settings.reg"
}
# Waits until the server's trace says it started; fails when the server ends first.
wait_for_server_start() {
  for ((i = 0; i < 300; i++)); do
    iconv -f UTF-16LE -t UTF-8 "$work/trace.txt" 2>/dev/null | grep -q "Server started" && return 0
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; return 1; }
    sleep 0.1
  done
  echo "the server did not start" >&2
  return 1
}
