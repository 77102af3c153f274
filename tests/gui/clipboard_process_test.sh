#!/usr/bin/env bash
# Tags copied in one process paste into another through the desktop's clipboard: two
# clipboard probes on a private virtual X display.
#   xvfb_run.sh clipboard_process_test.sh PROBE
set -euo pipefail
probe=$1
work=${XVFB_RUN_WORK:?runs under xvfb_run.sh}
copy_pid=""
# The copy side holds the clipboard until it is ended; the display and the scratch
# directory are xvfb_run.sh's to remove.
trap 'kill -TERM $copy_pid 2>/dev/null && wait $copy_pid 2>/dev/null || true' EXIT
"$probe" copy >"$work/copy.out" 2>"$work/copy.err" &
copy_pid=$!
for ((i = 0; i < 150; i++)); do
  grep -q copied "$work/copy.out" && break
  sleep 0.1
done
grep -q copied "$work/copy.out" || { cat "$work/copy.err" >&2; echo "clipboard: the copy side did not start" >&2; exit 1; }
pasted=$("$probe" paste 2>"$work/paste.err")
echo "pasted: $pasted"
[ "$pasted" = "Flow Level Pressure " ] || { cat "$work/paste.err" >&2; echo "clipboard: expected Flow Level Pressure" >&2; exit 1; }
