# Sourced by end-to-end scripts that run the player under a private Xvfb (xvfb_server.sh), after they set
# $out (and, when the screen is not the default one, $xvfb_screen as for -screen): starts the server,
# and on exit ends the player whose process id is in $player, then the server.
#   fail TEXT                 counts a failure and says so ($failures)
#   has TEXT                  whether the log ($log) holds TEXT, which may span lines
#   wait_for TEXT [SECONDS]   waits for TEXT in the log (30 s by default); fails the run ($run) without it
#   finish [CODE] [SECONDS]   waits for the player to end (60 s by default; killed after that) with exit
#                             code CODE (0 by default), and keeps its log as $out/$run.log
#   ready                     waits until start-up is done and the window is on screen ($window), and
#                             gives it the keyboard as a window manager would (Xvfb runs none)
. "$(dirname "${BASH_SOURCE[0]}")/xvfb_server.sh"
player=
cleanup() {
  [ -n "$player" ] && kill -KILL "$player" 2>/dev/null
  stop_xvfb
  wait 2>/dev/null
}
trap cleanup EXIT
start_xvfb "$out/xvfb.log" ${xvfb_screen:-} || { echo "FAIL: no X server"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
has() {
  if [[ $1 == *$'\n'* ]]; then
    local text; text=$(cat "$log" 2>/dev/null; echo .); [[ $text == *"$1"* ]]
  else
    grep -qaF -- "$1" "$log" 2>/dev/null
  fi
}
wait_for() {  # text [seconds]
  for _ in $(seq $(( ${2:-30} * 10 ))); do has "$1" && return 0; sleep 0.1; done
  fail "$run: no \"$1\" in the log after ${2:-30} s"
  return 1
}

finish() {  # [expected-exit-code] [seconds]
  local code=
  for _ in $(seq $(( ${2:-60} * 10 ))); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$player" 2>/dev/null; then
    fail "$run: still running; killed"
    kill -KILL "$player"
  fi
  wait "$player" && code=0 || code=$?
  player=
  [ "$code" = "${1:-0}" ] || fail "$run: exit code $code, expected ${1:-0}"
  cp "$log" "$out/$run.log" 2>/dev/null
}

window=
ready() {
  wait_for "Init Ok. Start" 60 || return 1
  window=
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Sublumen$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { fail "$run: no window on screen"; return 1; }
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
}
