# Sourced by the GUI process tests: a private virtual X display on a display number that is
# free (Xvfb picks it and says it when it is ready, so two tests never share a display).
#   start_xvfb WORKDIR   sets DISPLAY, QT_QPA_PLATFORM=xcb and xvfb_pid
start_xvfb() {
  local work=$1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for ((i = 0; i < 100; i++)); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb
}
