# shellcheck shell=bash disable=SC2154,SC2034  # variables shared with the sourcing script
# The demo plant's machinery, sourced by scripts/demo.sh and scripts/soak.sh: two controller
# simulators with changing values (velkopc-plcsim --demo), a private message bus when one is
# needed, the server's own settings stores, and the server on demo/plant.vlk; stopped in
# reverse order of their start.
#
# The sourcing script sets before it sources:
#   plant_tag   prefix of the messages ("demo", "soak")
#   root        the source tree
#   bin         the programs' directory
#   plant_dir   settings, trace and logs
# and calls plant_stop_all when it ends (e.g. from an EXIT trap).

# Children, stopped in reverse order of their start by plant_stop_all.
bus_pid="" server_pid="" sim_pids=()
server_status=""  # the server's exit status once plant_stop_all stopped it

plant_check_programs() {
  local program
  for program in velkopc velkopc-plcsim velkopc-client; do
    [ -x "$bin/$program" ] || { echo "$plant_tag: $bin/$program is missing; run scripts/setup.sh --demo" >&2; exit 1; }
  done
}

# pid: SIGTERM, then wait for the end (SIGKILL after 15 s). Sets stop_status to the
# process's exit status when it is a child of this shell.
stop_status=""
stop() {
  local pid=$1 i
  stop_status=""
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 150; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  stop_status=0
  wait "$pid" 2>/dev/null || stop_status=$?
}

plant_stop_all() {
  local pid
  if [ -n "$server_pid" ]; then
    stop "$server_pid"
    server_status=$stop_status
    server_pid=""
  fi
  for pid in "${sim_pids[@]}"; do stop "$pid"; done
  sim_pids=()
  stop "$bus_pid"
  bus_pid=""
}

# Whether the server's name is owned on the session bus: 0 yes, 1 no, 2 no bus to ask. Asked
# without calling the server, which could start a registered one by bus activation.
name_owned() {
  local reply
  reply=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:VELK.ModbusOPCServer 2>/dev/null) || return 2
  case "$reply" in *"boolean true"*) return 0 ;; *) return 1 ;; esac
}

# plant_start_bus when-needed|always: a private session bus when there is none, or when a
# server runs on it already (the plant would show that one's values, or none); or always.
plant_start_bus() {
  local private_bus=0 owned=0
  if [ "${1:-}" = always ]; then
    private_bus=1
  elif [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    echo "$plant_tag: no session bus; starting a private one"
    private_bus=1
  else
    name_owned || owned=$?
    if [ "$owned" = 0 ]; then
      echo "$plant_tag: a server runs on the session bus already; the $plant_tag takes a private bus"
      private_bus=1
    elif [ "$owned" = 2 ]; then
      echo "$plant_tag: the session bus at $DBUS_SESSION_BUS_ADDRESS does not answer; starting a private one"
      private_bus=1
    fi
  fi
  if [ "$private_bus" = 1 ]; then
    { read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(
      dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
    export DBUS_SESSION_BUS_ADDRESS
    echo "$plant_tag: private bus at $DBUS_SESSION_BUS_ADDRESS"
  fi
}

# The controllers: BoilerHouse (unit 1) on 127.0.0.1 and TankFarm (unit 2) on 127.0.0.2, on
# free ports instead of 502, which needs root; the server learns them from TcpPorts (see
# plant_write_settings). setsid keeps Ctrl+C away from them: they are stopped after the
# clients have finished.
started_port=""
start_sim() {  # name address unit; sets started_port
  local name=$1 address=$2 unit=$3 log="$plant_dir/$1.log" i port=""
  : >"$log"
  setsid "$bin/velkopc-plcsim" --tcp "$address:0" --unit "$unit" --demo --no-stdin \
    --control "$plant_dir/$name.sock" >"$log" 2>&1 </dev/null &
  sim_pids+=($!)
  for ((i = 0; i < 100; i++)); do
    port=$(sed -n "s/^plcsim: channel 1 tcp $address:\([0-9]*\)$/\1/p" "$log")
    if grep -q '^plcsim: ready' "$log" && [ -n "$port" ]; then
      started_port=$port
      return 0
    fi
    sleep 0.1
  done
  echo "$plant_tag: the simulator of $name did not start:" >&2
  cat "$log" >&2
  exit 1
}
plant_start_sims() {  # sets boiler_port and tanks_port
  start_sim BoilerHouse 127.0.0.1 1
  boiler_port=$started_port
  start_sim TankFarm 127.0.0.2 2
  tanks_port=$started_port
}

# The OPC UA port: VELKOPC_DEMO_UA_PORT, else one free on the loopback now, else 4841.
plant_ua_port() {
  if [ -n "${VELKOPC_DEMO_UA_PORT:-}" ]; then
    echo "$VELKOPC_DEMO_UA_PORT"
    return
  fi
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' \
    2>/dev/null || echo 4841
}

# The plant keeps its own settings stores, so it needs no rights on /etc. Its OPC UA server
# allows None and anonymous sessions on the loopback only. Sets ua_port.
plant_write_settings() {
  ua_port=$(plant_ua_port)
  cat >"$plant_dir/settings.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]
"FileName"="$plant_dir/trace.txt"
"FileSize"=dword:00000400

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TcpPorts]
"127.0.0.1"=dword:$(printf '%08x' "$boiler_port")
"127.0.0.2"=dword:$(printf '%08x' "$tanks_port")

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\OpcUa]
"Enabled"=dword:00000001
"Port"=dword:$(printf '%08x' "$ua_port")
"BindAddresses"="127.0.0.1"
"AllowAnonymous"=dword:00000001
"AllowSecurityNone"=dword:00000001
"PkiDirectory"="$plant_dir/pki"
REG
  export VELKOPC_SETTINGS="$plant_dir/settings.reg"
  export VELKOPC_USER_SETTINGS="$plant_dir/user.reg"
}

# The server, headless, every trace line also in server.log; returns once its name is on
# the bus.
plant_start_server() {
  local i
  setsid "$bin/velkopc" -EchoTrace "$root/demo/plant.vlk" >"$plant_dir/server.log" 2>&1 </dev/null &
  server_pid=$!
  for ((i = 0; ; i++)); do
    name_owned && break
    if ! kill -0 "$server_pid" 2>/dev/null || [ "$i" -ge 300 ]; then
      echo "$plant_tag: the server did not come up; its log:" >&2
      cat "$plant_dir/server.log" >&2
      exit 1
    fi
    sleep 0.1
  done
}

# The items that the demo's subscriber shows.
plant_items=(BoilerHouse.Level BoilerHouse.Pressure BoilerHouse.Temperature BoilerHouse.Pump
             BoilerHouse.Door TankFarm.Tank1.Flow TankFarm.Tank1.Overfill)
