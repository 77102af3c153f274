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
#   VELKOPC_DEMO_UA_PORT=N   the OPC UA port on 127.0.0.1 (default: a free one)
# Without a session bus (DBUS_SESSION_BUS_ADDRESS unset, as under ssh or CI) the demo
# starts a private one. Works with standard input closed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${VELKOPC_DEMO_NO_SETUP:-0}" != 1 ]; then
  bash scripts/setup.sh --demo
fi

bin="${VELKOPC_DEMO_BIN:-$root/build/bin}"
plant_dir="${VELKOPC_DEMO_DIR:-$root/build/demo}"
plant_tag=demo
demo=$plant_dir
mkdir -p "$demo"
# shellcheck source=scripts/demo_plant.sh
source scripts/demo_plant.sh
plant_check_programs

stop_all() {
  trap - EXIT INT TERM
  plant_stop_all
}
trap stop_all EXIT
trap 'exit 130' INT TERM

plant_start_bus when-needed
plant_start_sims
plant_write_settings
export VELKOPC_INSTANCE_NAME="${VELKOPC_INSTANCE_NAME:-velkopc-demo}"

echo "Demo plant: $root/demo/plant.vlk"
"$bin/velkopc-config" dump "$root/demo/plant.vlk" 2>/dev/null | grep -E '^ *(device|group|tag): ' || true
echo "Controllers: BoilerHouse at 127.0.0.1:$boiler_port, TankFarm at 127.0.0.2:$tanks_port (velkopc-plcsim --demo)"
echo "Trace file: $demo/trace.txt (read it with: iconv -f UTF-16LE -t UTF-8 $demo/trace.txt)"
echo "Server log: $demo/server.log"
echo "OPC UA endpoint: opc.tcp://127.0.0.1:$ua_port (None security, anonymous)"

plant_start_server
client=("$bin/velkopc-client")
items=("${plant_items[@]}")
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
