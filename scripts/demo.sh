#!/usr/bin/env bash
# The demo: builds the project, plays the demo plant's two controllers with velkopc-plcsim
# (values changing), runs the server headless on demo/plant.vlk and shows the live values
# with velkopc-client in the foreground. Ctrl+C (or SIGTERM) stops everything in order: the
# client removes its group, then the server, the simulators and, when the demo started one,
# its own message bus.
#
# Environment:
#   VELKOPC_DEMO_SECONDS=N   stop by itself after N seconds of live values
#   VELKOPC_DEMO_NO_SETUP=1  do not run scripts/setup.sh (the programs must be built)
#   VELKOPC_DEMO_BIN=DIR     take the programs from DIR (default build/bin)
#   VELKOPC_DEMO_DIR=DIR     the demo's settings, trace and logs (default build/demo)
# Without a session bus (DBUS_SESSION_BUS_ADDRESS unset, as under ssh or CI) the demo
# starts a private one. Works with standard input closed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${VELKOPC_DEMO_NO_SETUP:-0}" != 1 ]; then
  bash scripts/setup.sh --demo
fi

bin="${VELKOPC_DEMO_BIN:-$root/build/bin}"
demo="${VELKOPC_DEMO_DIR:-$root/build/demo}"
mkdir -p "$demo"
for program in velkopc velkopc-plcsim velkopc-client; do
  [ -x "$bin/$program" ] || { echo "demo: $bin/$program is missing; run scripts/setup.sh --demo" >&2; exit 1; }
done

# Children, stopped in reverse order of their start by stop_all.
bus_pid="" server_pid="" sim_pids=()
stop() {  # pid: SIGTERM, then wait for the end (SIGKILL after 15 s)
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 150; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
stop_all() {
  trap - EXIT INT TERM
  stop "$server_pid"
  for pid in "${sim_pids[@]}"; do stop "$pid"; done
  stop "$bus_pid"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# Whether the server's name is owned on the session bus: 0 yes, 1 no, 2 no bus to ask. Asked
# without calling the server, which could start a registered one by bus activation.
name_owned() {
  local reply
  reply=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:VELK.ModbusOPCServer 2>/dev/null) || return 2
  case "$reply" in *"boolean true"*) return 0 ;; *) return 1 ;; esac
}

# A private session bus when there is none, or when a server runs on it already (the demo
# would show that one's values, or none).
private_bus=0
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  echo "demo: no session bus; starting a private one"
  private_bus=1
else
  owned=0
  name_owned || owned=$?
  if [ "$owned" = 0 ]; then
    echo "demo: a server runs on the session bus already; the demo takes a private bus"
    private_bus=1
  elif [ "$owned" = 2 ]; then
    echo "demo: the session bus at $DBUS_SESSION_BUS_ADDRESS does not answer; starting a private one"
    private_bus=1
  fi
fi
if [ "$private_bus" = 1 ]; then
  { read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(
    dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS
  echo "demo: private bus at $DBUS_SESSION_BUS_ADDRESS"
fi

# The controllers: BoilerHouse (unit 1) on 127.0.0.1 and TankFarm (unit 2) on 127.0.0.2, on
# free ports instead of 502, which needs root; the server learns them from TcpPorts below.
# setsid keeps Ctrl+C away from them: they are stopped after the client has finished.
started_port=""
start_sim() {  # name address unit; sets started_port
  local name=$1 address=$2 unit=$3 log="$demo/$1.log" i port=""
  : >"$log"
  setsid "$bin/velkopc-plcsim" --tcp "$address:0" --unit "$unit" --demo --no-stdin \
    --control "$demo/$name.sock" >"$log" 2>&1 </dev/null &
  sim_pids+=($!)
  for ((i = 0; i < 100; i++)); do
    port=$(sed -n "s/^plcsim: channel 1 tcp $address:\([0-9]*\)$/\1/p" "$log")
    if grep -q '^plcsim: ready' "$log" && [ -n "$port" ]; then
      started_port=$port
      return 0
    fi
    sleep 0.1
  done
  echo "demo: the simulator of $name did not start:" >&2
  cat "$log" >&2
  exit 1
}
start_sim BoilerHouse 127.0.0.1 1
boiler_port=$started_port
start_sim TankFarm 127.0.0.2 2
tanks_port=$started_port

# The demo keeps its own settings stores, so it needs no rights on /etc.
cat >"$demo/settings.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]
"FileName"="$demo/trace.txt"
"FileSize"=dword:00000400

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TcpPorts]
"127.0.0.1"=dword:$(printf '%08x' "$boiler_port")
"127.0.0.2"=dword:$(printf '%08x' "$tanks_port")
REG
export VELKOPC_SETTINGS="$demo/settings.reg"
export VELKOPC_USER_SETTINGS="$demo/user.reg"
export VELKOPC_INSTANCE_NAME="${VELKOPC_INSTANCE_NAME:-velkopc-demo}"

echo "Demo plant: $root/demo/plant.vlk"
"$bin/velkopc-config" dump "$root/demo/plant.vlk" 2>/dev/null | grep -E '^ *(device|group|tag): ' || true
echo "Controllers: BoilerHouse at 127.0.0.1:$boiler_port, TankFarm at 127.0.0.2:$tanks_port (velkopc-plcsim --demo)"
echo "Trace file: $demo/trace.txt (read it with: iconv -f UTF-16LE -t UTF-8 $demo/trace.txt)"
echo "Server log: $demo/server.log"

setsid "$bin/velkopc" -EchoTrace "$root/demo/plant.vlk" >"$demo/server.log" 2>&1 </dev/null &
server_pid=$!
client=("$bin/velkopc-client")
for ((i = 0; ; i++)); do
  name_owned && break
  if ! kill -0 "$server_pid" 2>/dev/null || [ "$i" -ge 300 ]; then
    echo "demo: the server did not come up; its log:" >&2
    cat "$demo/server.log" >&2
    exit 1
  fi
  sleep 0.1
done

items=(BoilerHouse.Level BoilerHouse.Pressure BoilerHouse.Temperature BoilerHouse.Pump
       BoilerHouse.Door TankFarm.Tank1.Flow TankFarm.Tank1.Overfill)
address_option=""
[ -z "$bus_pid" ] || address_option=" --address '$DBUS_SESSION_BUS_ADDRESS'"
echo "From another terminal: $bin/velkopc-client$address_option browse (or read, write, devices; --help)"
echo "Live values (velkopc-client subscribe); Ctrl+C stops the demo."
# The client runs in the background so that the script can pass it Ctrl+C and SIGTERM (it
# ignores SIGINT there, as background commands of a script do) and keep its own time limit;
# its output still goes to the terminal.
"${client[@]}" subscribe --rate 500 "${items[@]}" &
client_pid=$!
trap 'kill -TERM "$client_pid" 2>/dev/null || true' INT TERM
if [ -n "${VELKOPC_DEMO_SECONDS:-}" ]; then
  (sleep "$VELKOPC_DEMO_SECONDS" && kill -TERM "$client_pid" 2>/dev/null) &
  timer_pid=$!
fi
# A trapped signal ends "wait" early; wait again until the client has ended, then take its
# status (the shell keeps it for a background command that it has reaped already).
while kill -0 "$client_pid" 2>/dev/null; do
  wait "$client_pid" 2>/dev/null || true
done
status=0
wait "$client_pid" 2>/dev/null || status=$?
[ -z "${timer_pid:-}" ] || kill "$timer_pid" 2>/dev/null || true
echo "Stopping the demo."
stop_all
exit "$status"
