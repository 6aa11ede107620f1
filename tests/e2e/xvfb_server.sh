# Sourced by the end-to-end scripts: one private Xvfb per script.
#
# Scripts run side by side (ctest -j, several checkouts on one machine). A display number chosen by
# looking for a free lock file can be chosen by two scripts at once: the second Xvfb then dies and its
# script talks to the first one's server, which vanishes when that script ends. Xvfb therefore picks
# the number itself (-displayfd) and reports it once it accepts clients.
#
# start_xvfb LOG [SCREEN]   starts the server (SCREEN as for -screen, default 1280x1024x24), waits
#                           for it, exports DISPLAY and sets xvfb_pid; returns 1 with the reason
#                           printed when no server came up within a minute.
# stop_xvfb                 ends it.
# Both work with and without set -e.

xvfb_pid=
xvfb_number_file=

start_xvfb() {
  local log=$1 screen=${2:-1280x1024x24} number= i
  xvfb_number_file=$(mktemp "${TMPDIR:-/tmp}/xvfb-number.XXXXXX")
  # -noreset: when its last client goes the server would start over, and a player started in that moment
  # may find no display (seen as "SDL found only its offscreen driver") or wait on it.
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$xvfb_number_file" >"$log" 2>&1 &
  xvfb_pid=$!
  # Generous: a loaded machine can take seconds to start a server.
  for ((i = 0; i < 600; i++)); do
    number=$(grep -m1 -x '[0-9][0-9]*' "$xvfb_number_file" 2>/dev/null || true)
    [ -n "$number" ] && break
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "Xvfb ended before it was ready: $(tail -n 5 "$log")"
      return 1
    fi
    sleep 0.1
  done
  if [ -z "$number" ]; then
    echo "Xvfb reported no display within 60 s: $(tail -n 5 "$log")"
    return 1
  fi
  export DISPLAY=":$number"
  # The number is written once the server listens; a first client confirms it answers.
  for ((i = 0; i < 300; i++)); do
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb on $DISPLAY ended: $(tail -n 5 "$log")"; return 1; }
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb on $DISPLAY does not answer: $(tail -n 5 "$log")"
  return 1
}

stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=
  [ -z "$xvfb_number_file" ] || rm -f "$xvfb_number_file"
  xvfb_number_file=
  return 0
}
