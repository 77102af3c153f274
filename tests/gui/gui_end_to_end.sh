#!/usr/bin/env bash
# End to end: the server with its GUI off screen (gui_probe) on the demo plant with its two
# simulated controllers, on a private bus; velkopc-client subscribes; the GUI's statistics
# and Device Monitor must show the client's group and the device's exchanges.
#   gui_end_to_end.sh SOURCE_DIR BIN_DIR PROBE
set -euo pipefail
root=$1 bin=$2 probe=$3
plant_tag=gui-e2e
plant_dir=$(mktemp -d)
cd "$root"
# shellcheck source=../../scripts/demo_plant.sh
source scripts/demo_plant.sh
# shellcheck source=probe_server.sh
source tests/gui/probe_server.sh
probe_plant_start velk-gui-e2e
probe_start "$probe"
"$bin/velkopc-client" subscribe --rate 200 BoilerHouse.Level BoilerHouse.Pump >"$plant_dir/client.out" 2>&1 &
client_pids+=($!)

# The probe ends the server once the windows showed what it looks for (60 s at most).
for ((i = 0; i < 700; i++)); do
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$server_pid" || true
server_pid=""
out=$(cat "$plant_dir/probe.out")
echo "$out"
fail() { echo "gui-e2e: $1" >&2; cat "$plant_dir/probe.err" >&2; exit 1; }
grep -q '^window: shown$' <<<"$out" || fail "the main window was not shown"
grep -Eq '^statistics: devices=2 tags=[1-9][0-9]* da-connections=1 da-groups=1 ' <<<"$out" ||
  fail "the statistics did not show the client and its group"
grep -Eq '^device-monitor: sent=[1-9][0-9]* received=[1-9][0-9]* ' <<<"$out" ||
  fail "the Device Monitor did not count the exchanges"
echo "gui-e2e: passed"
