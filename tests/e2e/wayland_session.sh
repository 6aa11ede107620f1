#!/usr/bin/env bash
# The player on a Wayland desktop: a headless sway (wlroots) beside an X display (Xvfb, as XWayland
# would be), a virtual keyboard (wtype) and screenshots (grim). The player takes SDL's Wayland driver,
# shows the caption on the screen, answers keys, keeps the screen awake (the compositor's idle
# inhibitor) only while the movie plays, goes to full screen and back with Alt+Enter, and ends on Esc
# with exit code 0 and its settings saved. A Wayland display that is not there gives way to X11.
# At an output scale of 2 the window keeps its size and draws its caption at the output's pixels.
# Usage: wayland_session.sh PLAYER MAKE_MOVIE OUTDIR   (logs and pictures stay in OUTDIR)
set -uo pipefail
player=$1
make_movie=$2
out=$3
for tool in sway swaymsg grim wtype convert compare Xvfb xdpyinfo ffmpeg; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
rm -rf "$out"
mkdir -p "$out/media" "$out/config/sublumen" "$out/home"
unset SDL_VIDEODRIVER WAYLAND_DISPLAY SWAYSOCK
export SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME="$out/config" HOME="$out/home" SUBLUMEN_MESSAGEBOX_ANSWER=ok \
  SUBLUMEN_FILE_CHOOSER=/bin/false
cp "$player" "$out/sublumen"
log=$out/DEBUG.LOG
movie=$out/media/clip.avi
"$make_movie" "$movie" avi 120 320 240 25 >/dev/null || { echo "skipped: no fixture movie"; exit 77; }
printf '<SAMI><BODY>\n<SYNC Start=0><P Class=KRCC>웨이랜드 화면의 자막입니다\n</BODY></SAMI>\n' >"${movie%.avi}.smi"
printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\niscaption dword 1\nscreenx dword 640\nscreeny dword 480\nbpp dword 32\n' \
  >"$out/config/sublumen/settings"

# A Wayland session has an X display too (XWayland), here an Xvfb: the player must still take Wayland.
. "$(dirname "$0")/xvfb_server.sh"
start_xvfb "$out/xvfb.log" || exit 1

# sway will not run as root: as root it runs as nobody, in a runtime folder of that user's.
runtime=$(mktemp -d "${TMPDIR:-/tmp}/sublumen-wayland.XXXXXX")
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "skipped: setpriv missing"; exit 77; }
  chown nobody "$runtime"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
chmod 700 "$runtime"
config=$(mktemp "${TMPDIR:-/tmp}/sublumen-sway.XXXXXX")
chmod 644 "$config"
# The window floats at the output's corner without a frame, so the screen's pixels are the window's.
cat >"$config" <<'EOF'
output HEADLESS-1 resolution 1280x1024 position 0 0 bg #404040 solid_color
default_border none
default_floating_border none
for_window [app_id="sublumen"] floating enable, border none, move position 0 0
EOF

sway_pid= keyboard_pid= pid=
cleanup() {
  [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
  [ -z "$keyboard_pid" ] || kill "$keyboard_pid" 2>/dev/null || true
  [ -z "$sway_pid" ] || kill "$sway_pid" 2>/dev/null || true
  stop_xvfb
  wait 2>/dev/null || true
  rm -rf "$runtime" "$config"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
has() { grep -qaF -- "$1" "$log" 2>/dev/null; }
count() { local n; n=$(grep -acF -- "$1" "$log" 2>/dev/null); echo "${n:-0}"; }
wait_count() {  # text count seconds
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    [ "$(count "$1")" -ge "$2" ] && return 0
    sleep 0.1
  done
  fail "fewer than $2 \"$1\" in the log after $3 s"
  return 1
}
tree() { swaymsg -t get_tree 2>/dev/null; }
wait_tree() {  # text seconds what
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    tree | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  fail "$3"
  return 1
}
# White pixels in a screenshot's area (WxH+X+Y).
white() { convert "$1" -crop "$2" +repage -fill black +opaque white -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:; }
key() { wtype "$@" || fail "wtype $*"; }

# A Wayland display that is not there: the player says so and shows the movie on X11 instead.
WAYLAND_DISPLAY=no-such-display "$out/sublumen" "$movie" >"$out/fallback.out" 2>&1 &
pid=$!
if wait_count "Init Ok. Start" 1 60; then
  has "Video: the Wayland display no-such-display cannot be used" || fail "no fallback in the log: $(grep -a 'Video' "$log")"
  kill -TERM "$pid"
  wait "$pid" || fail "the player on X11 ended with code $?"
fi
pid=

env -i PATH="$PATH" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
  WLR_RENDERER=pixman "${as_user[@]}" sway -c "$config" >"$out/sway.log" 2>&1 &
sway_pid=$!
export XDG_RUNTIME_DIR=$runtime
for _ in $(seq 600); do
  socket=$(cd "$runtime" && ls wayland-[0-9]* 2>/dev/null | grep -v '\.lock$' | head -1)
  SWAYSOCK=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -1)
  [ -n "$socket" ] && [ -n "$SWAYSOCK" ] && swaymsg -s "$SWAYSOCK" -t get_version >/dev/null 2>&1 && break
  kill -0 "$sway_pid" 2>/dev/null || { echo "sway ended: $(tail -n 5 "$out/sway.log")"; exit 1; }
  sleep 0.1
done
[ -n "$socket" ] && [ -n "$SWAYSOCK" ] || { echo "sway did not come up: $(tail -n 5 "$out/sway.log")"; exit 1; }
export WAYLAND_DISPLAY=$socket SWAYSOCK

# One keyboard for the whole session: the seat keeps a keyboard, so the player's stays bound and every
# key of the short-lived wtype calls below reaches it.
wtype -s 3600000 &
keyboard_pid=$!
for _ in $(seq 300); do
  swaymsg -t get_inputs 2>/dev/null | grep -q '"type": "keyboard"' && break
  sleep 0.1
done

rm -f "$log"
"$out/sublumen" "$movie" >"$out/player.out" 2>&1 &
pid=$!
wait_count "Init Ok. Start" 1 60 || exit 1
has "Video: Wayland display $socket." || fail "the player did not take the Wayland display: $(grep -a 'Video:' "$log")"
wait_tree '"app_id": "sublumen"' 60 "no window on the compositor" || exit 1
for _ in $(seq 300); do
  swaymsg -q '[app_id="sublumen" con_id=__focused__] nop' 2>/dev/null && break
  sleep 0.1
done
swaymsg -q '[app_id="sublumen" con_id=__focused__] nop' 2>/dev/null || fail "the window has no focus"
wait_tree '"application": "enabled"' 30 "the screen is not kept awake while the movie plays"

# Paused: the screen may sleep again, and the picture holds still for two screenshots, with and
# without the caption (C): above the caption band they are the same, and in it the caption's pixels
# are those that only the first one has.
key -k space
wait_count "KeyDown=0x20" 1 30
wait_tree '"application": "none"' 30 "the screen is still kept awake while the movie is paused"
# The last picture shown before the pause is the one that stays.
grim -g "0,0 640x480" "$out/caption.png" || fail "grim"
for _ in $(seq 60); do
  sleep 0.5
  grim -g "0,0 640x480" "$out/still.png" || fail "grim"
  [ "$(compare -metric AE "$out/caption.png" "$out/still.png" null: 2>&1)" = 0 ] && break
  mv "$out/still.png" "$out/caption.png"
done
key -k c
wait_count "KeyDown=0x43" 1 30
band=640x124+0+340
shown=0
for _ in $(seq 60); do
  grim -g "0,0 640x480" "$out/bare.png" || fail "grim"
  convert "$out/caption.png" "$out/bare.png" -crop "$band" +repage -compose difference -composite \
    -threshold 1% "$out/caption-only.png"
  shown=$(white "$out/caption-only.png" 640x124+0+0)
  [ "${shown:-0}" -gt 200 ] && break
  sleep 0.5
done
[ "${shown:-0}" -gt 200 ] || fail "no caption on the screen (${shown:-0} pixels of the band change with C)"
[ "$(white "$out/caption.png" "$band")" -gt 200 ] || fail "the caption band of the screen has no white"
convert "$out/caption.png" -crop 640x340+0+0 +repage "$out/above-caption.png"
convert "$out/bare.png" -crop 640x340+0+0 +repage "$out/above-bare.png"
above=$(compare -metric AE "$out/above-caption.png" "$out/above-bare.png" null: 2>&1)
[ "$above" = 0 ] || fail "the paused picture changed above the caption band ($above pixels)"

# Full screen: the 640x480 mode is scaled to the output's 1280x1024, black above and below.
key -M alt -k Return -m alt
wait_tree '"fullscreen_mode": 1' 60 "Alt+Enter brought no full screen"
wait_count ">>> initDirectDrawMode() 2" 1 60
for _ in $(seq 60); do
  grim "$out/full.png" || fail "grim"
  top=$(convert "$out/full.png" -crop 1280x30+0+0 +repage -format '%[fx:maxima.intensity]' info:)
  middle=$(convert "$out/full.png" -crop 1280x900+0+62 +repage -format '%[fx:maxima.intensity]' info:)
  [ "$top" = 0 ] && [ "$middle" != 0 ] && break
  sleep 0.5
done
[ "$top" = 0 ] || fail "full screen: the band above the picture is not black ($top)"
[ "$middle" != 0 ] || fail "full screen: no picture"
key -M alt -k Return -m alt
wait_count ">>> initDirectDrawMode() 5" 2 60
wait_tree '"fullscreen_mode": 0' 60 "the window did not come back from full screen"

key -k Escape
for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  fail "the player did not end"
else
  wait "$pid" || fail "exit code $?"
fi
pid=
grep -qx 'iscaption dword 0' "$out/config/sublumen/settings" || fail "the settings were not saved: $(cat "$out/config/sublumen/settings")"
grep -qx 'fullscreen dword 0' "$out/config/sublumen/settings" || fail "full screen was saved on"

# At output scale 2 a 640x480 window covers 1280x960 of the output's pixels and draws its caption at
# them: exactly as a 1280x960 window at scale 1 with the font and its place twice as large does, and so
# does the 640x480 full-screen mode, enlarged as much on the 1280x1024 output.
flat=$out/media/flat.avi
ffmpeg -loglevel error -f lavfi -i color=c=0x1E3C5A:s=640x480:r=25:d=60 -c:v mpeg4 -q:v 2 "$flat" \
  || { echo "skipped: no fixture movie"; exit 77; }
printf '<SAMI><BODY>\n<SYNC Start=0><P Class=KRCC>가나다 자막 Caption\n</BODY></SAMI>\n' >"${flat%.avi}.smi"
export SUBLUMEN_FRAME_TRACE=$out/trace
presented() { local n; n=$(grep -c '^P ' "$SUBLUMEN_FRAME_TRACE" 2>/dev/null); echo "${n:-0}"; }
scaled() {  # name output-scale width height fontsize fontposy: the output once ten pictures were shown
  local run=$1 i
  swaymsg -q output HEADLESS-1 scale "$2" || fail "$run: sway kept its scale"
  printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\nseekbar dword 0\ncaptionstyle dword 0\niscaption dword 1\nscreenx dword %s\nscreeny dword %s\nbpp dword 32\nfontsize dword %s\nfontposy dword %s\n' \
    "$3" "$4" "$5" "$6" >"$out/config/sublumen/settings"
  rm -f "$log" "$SUBLUMEN_FRAME_TRACE"
  "$out/sublumen" "$flat" >"$out/$run.out" 2>&1 &
  pid=$!
  wait_count "Init Ok. Start" 1 60 || return 1
  for ((i = 0; i < 300 && $(presented) < 10; i++)); do sleep 0.1; done
  [ "$(presented)" -ge 10 ] || fail "$run: only $(presented) pictures presented"
  # The compositor shows the window a frame or two after it is drawn.
  sleep 1
  grim "$out/$run.png" || fail "grim"
}
# The caption in the area WxH+X+Y of a screenshot: the box around what is not the movie's colour.
caption() { convert "$out/$1.png" -crop "$2" +repage -trim +repage "$out/$1.caption.png"; }
same() {
  local size differing
  size=$(convert "$out/$1.caption.png" -format '%wx%h' info:)
  [[ $size =~ ^([0-9]+)x([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -gt 200 ] && [ "${BASH_REMATCH[2]}" -gt 30 ] \
    || fail "no caption line on $1's screen ($size)"
  differing=$(compare -metric AE "$out/$1.caption.png" "$out/$2.caption.png" null: 2>&1)
  [ "$differing" = 0 ] || fail "the caption of $1 differs from $2's in $differing pixels"
}
end_player() {
  key -k Escape
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { fail "the player did not end"; kill -9 "$pid"; }
  wait "$pid" 2>/dev/null
  pid=
  cp "$log" "$out/$1.log"
}
if scaled dense 2 640 480 24 100; then
  has "Display scale: the compositor's output scale is 2" || fail "the output's scale is not logged"
  pixel() { convert "$out/dense.png" -format "%[hex:p{$1,$2}]" info:; }
  [ "$(convert "$out/dense.png" -format '%wx%h' info:)" = 1280x1024 ] || fail "the screenshot is not the output's pixels"
  movie=$(pixel 10 10)
  [ "$movie" != 404040 ] && [ "$(pixel 1279 959)" = "$movie" ] && [ "$(pixel 1279 960)" = 404040 ] \
    || fail "a 640x480 window at scale 2 does not cover 1280x960 ($movie $(pixel 1279 959) $(pixel 1279 960))"
  caption dense 1280x480+0+480
  # Full screen: the mode fills the output's width, 32 pixels of black above and below.
  key -M alt -k Return -m alt
  wait_count ">>> initDirectDrawMode() 2" 1 60
  for _ in $(seq 60); do
    sleep 0.5
    grim -o HEADLESS-1 "$out/densefull.png" || fail "grim"
    convert "$out/densefull.png" -crop 1280x480+0+512 +repage -trim +repage "$out/densefull.caption.png"
    [ "$(compare -metric AE "$out/densefull.caption.png" "$out/dense.caption.png" null: 2>&1)" = 0 ] && break
  done
  [ "$(convert "$out/densefull.png" -format '%[hex:p{640,31}] %[hex:p{640,32}] %[hex:p{1279,991}] %[hex:p{640,992}]' info:)" \
    = "000000 $movie $movie 000000" ] \
    || fail "the full-screen mode does not cover the output at scale 2"
  same densefull dense
  key -M alt -k Return -m alt
  wait_count ">>> initDirectDrawMode() 5" 2 60
  wait_tree '"fullscreen_mode": 0' 60 "the window did not come back from full screen"
  # Moved to an output of scale 1 and back, the window draws at each one's pixels.
  swaymsg -q create_output && swaymsg -q output HEADLESS-2 resolution 1280x1024 position 1280 0 scale 1 \
    || fail "no second output"
  swaymsg -q '[app_id="sublumen"] move container to output HEADLESS-2' || fail "the window stayed on its output"
  wait_count "Display scale: the compositor's output scale is 1;" 1 30
  swaymsg -q '[app_id="sublumen"] move container to output HEADLESS-1' || fail "the window did not come back"
  wait_count "Display scale: the compositor's output scale is 2;" 2 30
  swaymsg -q output HEADLESS-2 disable
  swaymsg -q '[app_id="sublumen"] focus' || fail "the window cannot have the focus back"
  for _ in $(seq 60); do
    sleep 0.5
    grim -o HEADLESS-1 "$out/back.png" || fail "grim"
    caption back 1280x480+0+480
    [ "$(compare -metric AE "$out/back.caption.png" "$out/dense.caption.png" null: 2>&1)" = 0 ] && break
  done
  same back dense
  end_player dense
fi
if scaled wide 1 1280 960 48 200; then
  caption wide 1280x480+0+480
  same dense wide
  end_player wide
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); log and pictures in $out"
  exit 1
fi
echo "wayland checks passed"
