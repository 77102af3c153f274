#!/usr/bin/env bash
# The soak: the demo plant (scripts/demo_plant.sh) on a private bus for MINUTES minutes with
# five subscribers the whole time and one client after another, started every 0.2 s, calling
# status, browse, read, read from the device, refresh and devices in turn. Every 30 s it
# samples the server's resident memory, threads and open descriptors.
#
# It fails when a call takes more than 3 s (each is reported with the trace lines from a
# second before it to a second after it), when a call or a subscriber fails, when the
# server's memory, threads or descriptors grow by more than 10 % from the sample at the end
# of the first minute (for a run of 2 minutes or less: from the sample at half time) to the
# last one, or when the server does not end in order on SIGTERM.
#
#   scripts/soak.sh MINUTES
# Environment:
#   VELKOPC_DEMO_NO_SETUP=1  do not run scripts/setup.sh (the programs must be built)
#   VELKOPC_DEMO_BIN=DIR     take the programs from DIR (default build/bin)
#   VELKOPC_SOAK_DIR=DIR     settings, trace and logs (default build/soak)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

minutes=${1:-}
case "$minutes" in '' | *[!0-9]* | 0) echo "usage: scripts/soak.sh MINUTES" >&2; exit 2 ;; esac

if [ "${VELKOPC_DEMO_NO_SETUP:-0}" != 1 ]; then
  bash scripts/setup.sh
fi

bin="${VELKOPC_DEMO_BIN:-$root/build/bin}"
plant_dir="${VELKOPC_SOAK_DIR:-$root/build/soak}"
plant_tag=soak
rm -rf "$plant_dir"
mkdir -p "$plant_dir"
# shellcheck source=scripts/demo_plant.sh
source scripts/demo_plant.sh
plant_check_programs

readonly kSlowCallSeconds=3 kGrowthPercent=10 kSampleSeconds=30 kCallPeriodUs=200000

subscriber_pids=()
stop_all() {
  trap - EXIT INT TERM
  local pid
  for pid in "${subscriber_pids[@]}"; do stop "$pid"; done
  subscriber_pids=()
  plant_stop_all
}
trap stop_all EXIT
trap 'exit 130' INT TERM

plant_start_bus always
plant_start_sims
plant_write_settings
# A name of its own, so that a demo or another soak on this machine is no obstacle.
export VELKOPC_INSTANCE_NAME="velkopc-soak-$$"
plant_start_server
client=("$bin/velkopc-client")

for i in 1 2 3 4 5; do
  "${client[@]}" subscribe --rate 500 "${plant_items[@]}" >"$plant_dir/subscriber$i.log" 2>&1 &
  subscriber_pids+=($!)
done

# The calls in turn.
calls=(
  "status"
  "browse"
  "read ${plant_items[*]}"
  "read --device ${plant_items[*]}"
  "refresh"
  "devices"
)

# Microseconds since the epoch.
now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }
# The trace lines stamped between two times (microseconds); the stamps are local time.
trace_between() {
  local from to
  from=$(date -d "@$(($1 / 1000000 - 1))" '+%Y.%m.%d %H:%M:%S')
  to=$(date -d "@$(($2 / 1000000 + 2))" '+%Y.%m.%d %H:%M:%S')
  awk -v from="$from" -v to="$to" 'substr($0, 1, 19) >= from && substr($0, 1, 19) < to' \
    "$plant_dir/server.log"
}

# Resident memory (kB), threads and open descriptors of the server.
sample() {
  local rss threads fds
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$server_pid/status")
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$server_pid/status")
  fds=$(find "/proc/$server_pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
  echo "$rss $threads $fds"
}

failures=()
slow=0 failed_calls=0 calls_made=0 longest_us=0
start_us=$(now_us)
end_us=$((start_us + minutes * 60 * 1000000))
baseline_s=60
[ "$minutes" -gt 2 ] || baseline_s=$((minutes * 30))
next_sample_us=$((start_us + kSampleSeconds * 1000000))
baseline="" last=""
echo "soak: $minutes minute(s); 5 subscribers; a client every $((kCallPeriodUs / 1000)) ms; samples every ${kSampleSeconds} s"
printf 'soak: %6s  %10s  %7s  %4s  %6s\n' time "rss (kB)" threads fds calls
while :; do
  now=$(now_us)
  if [ "$now" -ge "$next_sample_us" ]; then
    if ! kill -0 "$server_pid" 2>/dev/null; then
      failures+=("the server ended during the soak")
      break
    fi
    read -r rss threads fds < <(sample)
    elapsed=$(((now - start_us) / 1000000))
    printf 'soak: %3d:%02d  %10s  %7s  %4s  %6s\n' $((elapsed / 60)) $((elapsed % 60)) \
      "$rss" "$threads" "$fds" "$calls_made"
    last="$rss $threads $fds"
    if [ -z "$baseline" ] && [ "$elapsed" -ge "$baseline_s" ]; then baseline=$last; fi
    next_sample_us=$((next_sample_us + kSampleSeconds * 1000000))
  fi
  [ "$now" -lt "$end_us" ] || break

  call=${calls[$((calls_made % ${#calls[@]}))]}
  # shellcheck disable=SC2086  # the call's words are its arguments
  set -- $call
  began=$(now_us)
  status=0
  timeout 60 "${client[@]}" "$@" >"$plant_dir/call.log" 2>&1 || status=$?
  ended=$(now_us)
  calls_made=$((calls_made + 1))
  took=$((ended - began))
  [ "$took" -le "$longest_us" ] || longest_us=$took
  if [ "$took" -gt $((kSlowCallSeconds * 1000000)) ]; then
    slow=$((slow + 1))
    echo "soak: SLOW: velkopc-client $call took $((took / 1000)) ms (status $status); trace:"
    trace_between "$began" "$ended" | sed 's/^/soak:   /'
  fi
  if [ "$status" -ne 0 ]; then
    failed_calls=$((failed_calls + 1))
    echo "soak: FAILED: velkopc-client $call ended with status $status after $((took / 1000)) ms:"
    sed 's/^/soak:   /' "$plant_dir/call.log" | head -20
  fi
  pause=$((began + kCallPeriodUs - $(now_us)))
  [ "$pause" -le 0 ] || sleep "$(printf '0.%06d' "$pause")"
done

# The subscribers end on SIGTERM with their summary line; each must have seen data changes.
for i in "${!subscriber_pids[@]}"; do
  pid=${subscriber_pids[$i]}
  log="$plant_dir/subscriber$((i + 1)).log"
  if ! kill -0 "$pid" 2>/dev/null; then
    failures+=("subscriber $((i + 1)) ended early: $(tail -3 "$log" | tr '\n' ' ')")
    continue
  fi
  stop "$pid"
  if [ "$stop_status" != 0 ] || ! grep -Eq 'after [1-9][0-9]* data change' "$log"; then
    failures+=("subscriber $((i + 1)) (status $stop_status): $(tail -3 "$log" | tr '\n' ' ')")
  fi
done
subscriber_pids=()
plant_stop_all
[ "$server_status" = 0 ] || failures+=("the server did not end in order on SIGTERM (status $server_status)")

echo "soak: $calls_made calls, $slow over ${kSlowCallSeconds} s, $failed_calls failed, longest $((longest_us / 1000)) ms"
[ "$slow" -eq 0 ] || failures+=("$slow call(s) took more than ${kSlowCallSeconds} s")
[ "$failed_calls" -eq 0 ] || failures+=("$failed_calls call(s) failed")
if [ -n "$baseline" ] && [ -n "$last" ]; then
  read -r b_rss b_threads b_fds <<<"$baseline"
  read -r l_rss l_threads l_fds <<<"$last"
  echo "soak: from ${baseline_s} s to the end: rss $b_rss -> $l_rss kB, threads $b_threads -> $l_threads, descriptors $b_fds -> $l_fds"
  for what in "rss $b_rss $l_rss" "threads $b_threads $l_threads" "descriptors $b_fds $l_fds"; do
    read -r name before after <<<"$what"
    if [ $((after * 100)) -gt $((before * (100 + kGrowthPercent))) ]; then
      failures+=("$name grew by more than ${kGrowthPercent} %: $before -> $after")
    fi
  done
fi

if [ ${#failures[@]} -gt 0 ]; then
  printf 'soak: FAILED: %s\n' "${failures[@]}"
  echo "soak: logs and trace in $plant_dir"
  exit 1
fi
echo "soak: passed"
