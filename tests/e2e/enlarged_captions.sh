#!/usr/bin/env bash
# Captions at the screen's pixels, on a 1920x1080 Xvfb with a flat-coloured movie and one caption:
# a 640x480 full-screen mode (enlarged 2.25 times) shows the caption exactly as the desktop's own mode
# does with the font and the band 2.25 times as large, and a 640x480 window at GDK_SCALE=1.25 covers
# 800x600 and shows it exactly as an 800x600 window at scale 1 with the font 1.25 times as large; at
# GDK_SCALE=3 it is scaled as far as the desktop has room for.
# Usage: enlarged_captions.sh PLAYER OUTDIR   (logs and screen pictures stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool import convert compare xwininfo xdpyinfo ffmpeg; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
movie=$m/flat.avi
ffmpeg -loglevel error -f lavfi -i color=c=0x1E3C5A:s=640x480:r=25:d=60 -c:v mpeg4 -q:v 2 "$movie" \
  || { echo "skipped: no fixture movie"; exit 77; }
printf '<SAMI><BODY>\n<SYNC Start=0><P Class=KRCC>가나다 자막 Caption\n</BODY></SAMI>\n' >"${movie%.avi}.smi"
xvfb_screen=1920x1080x24
. "$(dirname "$0")/player_session.sh"
export SUBLUMEN_FRAME_TRACE=$out/trace

# show NAME FULLSCREEN WIDTH HEIGHT FONTSIZE FONTPOSY: the root window once ten pictures were presented,
# as $out/NAME.png, and the window's size as $out/NAME.size.
show() {
  run=$1
  printf 'fullscreen dword %s\nasksmi dword 0\nhelp dword 0\nseekbar dword 0\ncaptionstyle dword 0\nscreenx dword %s\nscreeny dword %s\nbpp dword 32\nfontsize dword %s\nfontposy dword %s\n' \
    "$2" "$3" "$4" "$5" "$6" >"$settings"
  rm -f "$SUBLUMEN_FRAME_TRACE"
  "$out/bin/sublumen" "$movie" >"$out/$run.out" 2>&1 &
  player=$!
  wait_for "Init Ok. Start" 60 || return 1
  local i presented=0
  for ((i = 0; i < 300 && presented < 10; i++)); do
    presented=$(grep -c '^P ' "$SUBLUMEN_FRAME_TRACE" 2>/dev/null)
    sleep 0.1
  done
  [ "${presented:-0}" -ge 10 ] || fail "$run: only ${presented:-0} pictures presented"
  window=$(xdotool search --onlyvisible --name '^Sublumen$' 2>/dev/null | head -1)
  xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }' >"$out/$run.size"
  import -window root "$out/$run.png"
  xdotool key --window "$window" Escape
  finish 0 30
}

# The caption inside the screen's rectangle WxH+X+Y: the box around what is not the movie's colour.
caption() {  # name geometry
  convert "$out/$1.png" -crop "$2" +repage -trim +repage "$out/$1.caption.png"
}
same() {  # name name
  local differing size
  size=$(convert "$out/$1.caption.png" -format '%wx%h' info:)
  [[ $size =~ ^([0-9]+)x([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -gt 200 ] && [ "${BASH_REMATCH[2]}" -gt 20 ] \
    && [ "${BASH_REMATCH[2]}" -lt 100 ] || fail "no caption line on $1's screen ($size)"
  differing=$(compare -metric AE "$out/$1.caption.png" "$out/$2.caption.png" null: 2>&1)
  [ "$differing" = 0 ] || fail "the caption of $1 differs from $2's in $differing pixels"
}

show mode640 1 640 480 24 100
show desktop 1 1920 1080 54 225
caption mode640 1440x400+240+680
caption desktop 1440x400+240+680
same mode640 desktop

GDK_SCALE=1.25 show scaled 0 640 480 24 100
show window800 0 800 600 30 125
[ "$(cat "$out/scaled.size")" = 800x600 ] || fail "a 640x480 window at scale 1.25 is $(cat "$out/scaled.size")"
grep -qa "Display scale: 1.25" "$out/scaled.log" || fail "the scale is not logged"
# Both windows are centred: the lower half of their client area.
caption scaled 800x300+560+540
caption window800 800x300+560+540
same scaled window800
# At 3 a 640x480 window would not fit the 1920x1080 desktop: it gets the largest scale that fits.
GDK_SCALE=3 show three 0 640 480 24 100
[ "$(cat "$out/three.size")" = 1440x1080 ] || fail "a 640x480 window at scale 3 is $(cat "$out/three.size")"
exit "$failures"
