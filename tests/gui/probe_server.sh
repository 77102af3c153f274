# The server with its GUI off screen (gui_probe) on the demo plant, for the GUI process
# tests; sourced after scripts/demo_plant.sh, with root and plant_dir set.
client_pids=()

# The EXIT trap: the clients, then the plant, then the scratch folder.
probe_finish() {
  local status=$? pid
  for pid in "${client_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${client_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  plant_stop_all
  rm -rf "$plant_dir"
  exit "$status"
}

# probe_start PROBE: starts the probe (the caller's environment goes with it) on a copy of
# the demo plant (an edit left unsaved at the end goes to a recovery copy beside the file)
# and returns once its name is on the bus; its output goes to probe.out and probe.err.
probe_start() {
  local i
  cp "$root/demo/plant.vlk" "$plant_dir/plant.vlk"
  setsid "$1" -platform offscreen "$plant_dir/plant.vlk" >"$plant_dir/probe.out" \
    2>"$plant_dir/probe.err" </dev/null &
  server_pid=$!
  for ((i = 0; i < 300; i++)); do
    name_owned && return 0
    kill -0 "$server_pid" 2>/dev/null || { cat "$plant_dir/probe.err" >&2; exit 1; }
    sleep 0.1
  done
}

# probe_plant_start INSTANCE: the private bus, the simulators and the settings of the plant,
# the server's instance name (INSTANCE-pid), and probe_finish at exit.
probe_plant_start() {
  trap probe_finish EXIT
  plant_start_bus always
  plant_start_sims
  plant_write_settings
  export VELKOPC_INSTANCE_NAME="$1-$$"
}
