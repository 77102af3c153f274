#!/usr/bin/env bash
# A configuration changed in the window and not saved outlives SIGTERM: the server (its GUI
# on a private virtual X display) writes a recovery copy beside the file, never over the
# file, and traces it; the next start offers the copy and opens it for the file, unsaved.
# The hangup at the end of a terminal session does the same.
#   gui_recovery_test.sh PROBE SOURCE_DIR
set -euo pipefail
probe=$1 root=$2
source "$(dirname "$0")/server_display_env.sh"
start_server_display "velk-gui-recovery-$$"
fail() {
  echo "gui-recovery: $1" >&2
  tail -n 20 "$work"/*.out >&2 || true
  exit 1
}
plant="$work/plant.vlk"
cp "$root/demo/plant.vlk" "$plant"

# edit_and_end SIGNAL: the probe edits, then the signal ends it.
edit_and_end() {
  VELK_PROBE=edit "$probe" "$plant" >"$work/edit.out" 2>&1 &
  server_pid=$!
  for ((i = 0; i < 300; i++)); do
    grep -q '^edited:' "$work/edit.out" && break
    kill -0 "$server_pid" 2>/dev/null || fail "the server ended"
    sleep 0.1
  done
  edited=$(grep '^edited:' "$work/edit.out") || fail "the probe did not edit"
  [[ $edited =~ deleted=1\ modified=1\ devices=([0-9]+) ]] || fail "unexpected edit: $edited"
  devices=${BASH_REMATCH[1]}
  kill "-$1" "$server_pid"
  status=0
  wait "$server_pid" || status=$?
  server_pid=""
  [ "$status" = 0 ] || fail "the server ended on $1 with $status"
}

edit_and_end TERM
cmp -s "$root/demo/plant.vlk" "$plant" || fail "the configuration file itself was written"
[ -s "$plant.recovered" ] || fail "no recovery copy beside the file"
iconv -f UTF-16LE -t UTF-8 "$work/trace.txt" |
  grep -qF "Unsaved changes of $plant were written to the recovery copy $plant.recovered" ||
  fail "the recovery copy is not in the trace"

VELK_PROBE=recover "$probe" "$plant" >"$work/recover.out" 2>&1 || fail "the second start failed"
grep -q "^message box: .*unsaved changes of $plant" "$work/recover.out" ||
  fail "the start did not offer the copy"
grep -qx "recovered: path=$plant modified=1 devices=$devices copy=removed" "$work/recover.out" ||
  fail "the start did not open the copy for the file"

# The second start opened the copy, which is no longer there; the hangup writes a new one.
rm -f "$plant.recovered"
edit_and_end HUP
[ -s "$plant.recovered" ] || fail "no recovery copy after the hangup"
echo "gui-recovery: passed"
