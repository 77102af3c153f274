#!/usr/bin/env bash
# Runs one command on a private virtual X display (Qt's xcb platform), for the widget tests
# that need what the offscreen platform lacks, such as a drag loop. The command finds a
# scratch directory of its own in XVFB_RUN_WORK, removed with the display at the end.
#   xvfb_run.sh COMMAND [ARGUMENT...]
set -euo pipefail
work=$(mktemp -d)
xvfb_pid=""
finish() {
  local status=$?
  [ -n "$xvfb_pid" ] && kill -TERM "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT
source "$(dirname "$0")/xvfb_display.sh"
start_xvfb "$work"
mkdir "$work/command"
export XVFB_RUN_WORK="$work/command"
"$@"
