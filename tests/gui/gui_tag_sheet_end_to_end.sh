#!/usr/bin/env bash
# End to end through the tag sheet: the server with its GUI off screen (gui_probe,
# VELK_PROBE=tag-sheet) on the demo plant with its simulated controllers, on a private bus.
# A DA client subscribes to BoilerHouse.Temperature (15..25 degC from a raw 0..1000) and an
# AE client takes every event; the probe then edits the tag on the property sheet as a user
# would (engineering maximum 10, a High alarm at 1.0 with priority 777), and BoilerHouse.Door
# to the user condition "Gas Detection"/"Gas High" of the AE_Cond.INI beside the server. The
# DA client must then see Temperature on the new scale (1.5..2.5) and the AE client its new
# alarm and the door's alarm under the user condition.
#   gui_tag_sheet_end_to_end.sh SOURCE_DIR BIN_DIR PROBE
set -euo pipefail
root=$1 bin=$2 probe=$3
plant_tag=gui-sheet-e2e
plant_dir=$(mktemp -d)
cd "$root"
# shellcheck source=../../scripts/demo_plant.sh
source scripts/demo_plant.sh
# shellcheck source=probe_server.sh
source tests/gui/probe_server.sh
probe_plant_start velk-gui-sheet-e2e
VELK_PROBE=tag-sheet probe_start "$probe"
"$bin/velkopc-client" subscribe --rate 200 BoilerHouse.Temperature >"$plant_dir/da.out" 2>&1 &
client_pids+=($!)
# The AE client comes second, once the DA client has a value on the old scale: the probe
# edits the tag when both are connected.
for ((i = 0; i < 300; i++)); do
  grep -q ' BoilerHouse\.Temperature ' "$plant_dir/da.out" && break
  sleep 0.1
done
"$bin/velkopc-client" events --buffer 200 --source '*Temperature*' --source '*Door*' \
  >"$plant_dir/ae.out" 2>&1 &
client_pids+=($!)

fail() {
  echo "gui-sheet-e2e: $1" >&2
  for f in probe.out probe.err da.out ae.out; do
    echo "--- $f" >&2
    tail -n 20 "$plant_dir/$f" >&2
  done
  exit 1
}
# The values after the sheet was applied: the DA lines written from then on.
applied_at=""
for ((i = 0; i < 600; i++)); do
  if [ -z "$applied_at" ] && grep -q '^sheet: applied$' "$plant_dir/probe.out"; then
    applied_at=$(wc -l <"$plant_dir/da.out")
  fi
  grep -q '^sheet: \(cancelled\|no tag\)$' "$plant_dir/probe.out" && fail "the sheet was not applied"
  if [ -n "$applied_at" ]; then
    new_values=$(tail -n +"$((applied_at + 1))" "$plant_dir/da.out" |
      awk '$3 == "BoilerHouse.Temperature" && $4 + 0 >= 1.5 && $4 + 0 <= 2.5 && $5 == "good" {n++} END {print n + 0}')
    alarm=$(grep -c 'Temperature .*/High  severity 777  ".*too warm"  active' "$plant_dir/ae.out" || true)
    user=$(grep -c 'Door  Gas Detection/Gas High  severity 700 .* active' "$plant_dir/ae.out" || true)
    [ "$new_values" -ge 3 ] && [ "$alarm" -ge 1 ] && [ "$user" -ge 1 ] && break
  fi
  kill -0 "$server_pid" 2>/dev/null || fail "the server ended"
  sleep 0.1
done
[ -n "$applied_at" ] || fail "the probe did not apply the sheet"
[ "$new_values" -ge 3 ] || fail "the DA client did not see the new scale"
[ "$alarm" -ge 1 ] || fail "the AE client did not see the new alarm"
[ "$user" -ge 1 ] || fail "the AE client did not see the door's user condition"
# Before the edit the same item read 15..25.
old_values=$(head -n "$applied_at" "$plant_dir/da.out" |
  awk '$3 == "BoilerHouse.Temperature" && $4 + 0 >= 15 && $4 + 0 <= 25 {n++} END {print n + 0}')
[ "$old_values" -ge 1 ] || fail "the DA client saw no value on the old scale"
echo "gui-sheet-e2e: passed"
