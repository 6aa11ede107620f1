#!/usr/bin/env bash
# Runs the display demo under Xvfb in window mode, in full screen and with a refused full-screen mode;
# checks the debug log's marker lines, the screenshots' pixels and that full screen gets the keyboard.
# Usage: display_demo.sh DEMO OUTDIR   (the screenshots stay in OUTDIR)
set -euo pipefail
demo=$1
out=$2
for tool in Xvfb import convert xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
mkdir -p "$out"
unset SDL_VIDEODRIVER WAYLAND_DISPLAY

. "$(dirname "$0")/xvfb_server.sh"
demo_pid=
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  stop_xvfb
  wait 2>/dev/null || true
}
trap cleanup EXIT
start_xvfb "$out/xvfb.log" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The colour of one screen pixel as "r,g,b".
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}
expect_pixel() {  # shot x y r g b (each channel within 12)
  local got; got=$(pixel "$1" "$2" "$3")
  IFS=, read -r r g b <<<"$got"
  local dr=$((r - $4)) dg=$((g - $5)) db=$((b - $6))
  if [ ${dr#-} -gt 12 ] || [ ${dg#-} -gt 12 ] || [ ${db#-} -gt 12 ]; then
    fail "$1 at $2,$3 is $got, expected $4,$5,$6"
  fi
}

# Runs the demo, waits for its first frames, presses F1, takes a screenshot. The deadlines are generous
# (they only matter when something is wrong); the demo holds its last frame for a minute.
run() {  # name args...
  local name=$1; shift
  "$demo" "$@" --frames 30 --hold-ms 60000 --log "$out/$name.log" >"$out/$name.out" 2>&1 &
  demo_pid=$!
  for _ in $(seq 600); do grep -q ready "$out/$name.out" 2>/dev/null && break; sleep 0.1; done
  grep -q ready "$out/$name.out" || fail "$name: demo never got ready: $(cat "$out/$name.out")"
  xdotool key F1
  # Where the window has the keyboard, the key shows up in the log.
  for _ in $(seq 50); do grep -q "KeyDown=0x70" "$out/$name.log" 2>/dev/null && break; sleep 0.1; done
  import -window root "$out/$name.png"
  kill "$demo_pid" 2>/dev/null || true
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=
}

markers() { for n in "$@"; do printf '>>> initDirectDrawMode() %s\n' "$n"; done; }
expect_log() {  # name expected-text
  if ! grep -qzF -- "$2" "$out/$1.log"; then fail "$1.log lacks: $2"; fi
}

run window --size 640x480
expect_log window "$(markers 1 5 6 8)"
# Window of exactly 640x480 centred on 1280x1024 (no window manager, so no frame).
expect_pixel "$out/window.png" 330 500 220 40 40
expect_pixel "$out/window.png" 950 500 50 80 230
expect_pixel "$out/window.png" 300 500 0 0 0
expect_pixel "$out/window.png" 640 260 0 0 0

run fullscreen --fullscreen --size 640x480 --bpp 16
expect_log fullscreen "$(markers 1 2 6 8)"
expect_log fullscreen "KeyDown=0x70"
# 640x480 scaled to 1280x960 with 32-pixel bars above and below.
expect_pixel "$out/fullscreen.png" 100 500 220 40 40
expect_pixel "$out/fullscreen.png" 1200 500 50 80 230
expect_pixel "$out/fullscreen.png" 640 10 0 0 0
expect_pixel "$out/fullscreen.png" 640 1015 0 0 0

run refused --fullscreen --size 2048x1536 --bpp 32
expect_log refused "$(markers 1 2 3)FullMode Change Fail -3
$(markers 4 6 8)"
grep -q '640x480x16 full screen' "$out/refused.out" || fail "refused: not running at 640x480x16"
expect_pixel "$out/refused.png" 100 500 220 40 40

cat "$out"/*.out
[ "$failures" -eq 0 ] && echo "display demo checks passed"
exit $((failures > 0))
