#!/usr/bin/env bash
# The player under Xvfb through bursts of quick key presses: twenty Alt+Enter at a time (each one a
# display rebuild between window and full screen) and bursts of mixed keys, over and over. After every
# burst F1 must still be answered; at the end Space pauses and Esc quits with status 0 and the settings
# saved as the last keys left them. A window manager runs when the machine has one (openbox), as on a
# desktop: it frames, focuses and re-frames the window at its own pace while the rebuilds hide and show
# it, which a bare Xvfb never does.
# Usage: key_burst.sh PLAYER MAKE_MOVIE OUTDIR [BURSTS]   (the log stays in OUTDIR)
set -uo pipefail
program=$1
make_movie=$2
out=$3
bursts=${4:-12}
for tool in Xvfb xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
# Long enough never to end during the test.
"$make_movie" "$out/media/long.avi" avi 180 320 240 25 >/dev/null || { echo "skipped: no fixture movie"; exit 77; }
printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\n' >"$settings"

. "$(dirname "$0")/player_session.sh"
run=bursts
wm_pid=
# The window manager, when one runs, ends before the server.
cleanup() {
  [ -z "$player" ] || kill -KILL "$player" 2>/dev/null
  [ -z "$wm_pid" ] || kill "$wm_pid" 2>/dev/null
  stop_xvfb
  wait 2>/dev/null
}
if command -v openbox >/dev/null; then
  openbox >"$out/wm.log" 2>&1 &
  wm_pid=$!
  # The manager announces itself on the root window once it manages the screen.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  echo "window manager: openbox"
else
  echo "window manager: none (openbox missing)"
fi

count() { local n; n=$(grep -ac -- "$1" "$log" 2>/dev/null); echo "${n:-0}"; }
# Waits up to SECONDS for more lines holding TEXT than BEFORE; the deadlines only matter on failure.
wait_more() {  # text before seconds
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    [ "$(count "$1")" -gt "$2" ] && return 0
    kill -0 "$player" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

"$out/bin/sublumen" "$out/media/long.avi" >"$out/player.out" 2>&1 &
player=$!
ready || exit 1

alt_enters=$(for _ in $(seq 20); do printf 'alt+Return '; done)
mixed=$(for _ in $(seq 4); do printf 'alt+Return Right alt+Return Left 2 grave Up Down space space '; done)
alive=0
for ((b = 1; b <= bursts; b++)); do
  if ((b % 2)); then keys=$alt_enters; else keys=$mixed; fi
  # Every fourth burst comes as fast as xdotool can send it.
  delay=12
  ((b % 4 == 1)) && delay=0
  # shellcheck disable=SC2086
  xdotool key --delay $delay $keys
  before=$(count "KeyDown=0x70")
  # A key pressed while a display rebuild has the window off the screen reaches no window, for the
  # player as for anybody: F1 is pressed again every second until it is answered. A keyboard the burst
  # left dead answers none of them.
  answered=
  for ((t = 0; t < 30; t++)); do
    xdotool key F1
    if wait_more "KeyDown=0x70" "$before" 1; then answered=1; break; fi
  done
  if [ -n "$answered" ]; then
    alive=$((alive + 1))
  elif ! kill -0 "$player" 2>/dev/null; then
    fail "burst $b: the player ended"
    break
  else
    fail "burst $b: F1 unanswered for 30 s"
    # Whether a modifier the player still thinks held was the cause: Alt pressed and released alone.
    xdotool key alt F1
    wait_more "KeyDown=0x70" "$before" 10 && echo "burst $b: F1 answered only after Alt was pressed alone"
  fi
done
echo "$alive of $bursts bursts left the keyboard answering"

# The last burst's rebuild may still have the window off the screen: Space too is pressed again every
# second until it is answered.
before=$(count "KeyDown=0x20")
answered=
for ((t = 0; t < 30; t++)); do
  xdotool key space
  if wait_more "KeyDown=0x20" "$before" 1; then answered=1; break; fi
done
[ -n "$answered" ] || fail "Space unanswered at the end"
xdotool key Escape
finish 0
grep -qF ">>> deinitAll()" "$log" || fail "no orderly shutdown in the log"
# The settings hold what the keys the player saw left: help toggled by each F1, the window mode of
# the last display rebuild.
help=$(($(count "KeyDown=0x70") % 2))
grep -qx "help dword $help" "$settings" || fail "help not saved as $help: $(tr '\n' ' ' <"$settings")"
last_mode=$(grep -aE '^>>> initDirectDrawMode\(\) [25]$' "$log" | tail -1)
[ "${last_mode##* }" = 2 ] && full=1 || full=0
grep -qx "fullscreen dword $full" "$settings" || fail "fullscreen not saved as $full: $(tr '\n' ' ' <"$settings")"

if [ "$failures" -ne 0 ]; then
  echo "--- player output"; cat "$out/player.out"
  echo "--- log tail"; tail -n 40 "$log"
  exit 1
fi
echo "key burst checks passed"
