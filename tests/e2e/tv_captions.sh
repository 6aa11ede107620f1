#!/usr/bin/env bash
# A recording of Korean television under Xvfb: an H.264 transport stream whose pictures carry CEA-708
# service 1 in Korean (EUC-KR), service 2 in English and CEA-608 CC1, a caption every 10 s, on a flat
# picture. Without a caption file the player shows service 1, drawn exactly as the same text from a SAMI
# file beside the same pictures; Y goes on to [708-2] and [608-CC1]; after a seek the next caption comes
# as the pictures from there are decoded.
# Usage: tv_captions.sh SUBLUMEN MAKE_MOVIE OUTDIR   (logs and screen pictures stay in OUTDIR)
set -uo pipefail
program=$1
make_movie=$2
out=$3
for tool in Xvfb xdotool import convert compare xwininfo xdpyinfo ffmpeg; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
"$make_movie" "$m/made.ts" tv-h264 40 320 240 30 10 || { echo "skipped: no fixture recording"; exit 77; }
# The same recording on a flat picture (the caption data goes along with the pictures), and its pictures
# alone without the caption data, with the first Korean caption in a SAMI file beside them.
ffmpeg -hide_banner -loglevel error -y -i "$m/made.ts" -vf "drawbox=c=0x1E3C5A:t=fill" -c:v libx264 -a53cc 1 \
  -c:a copy "$m/news.ts" \
  && ffmpeg -hide_banner -loglevel error -y -i "$m/news.ts" -c copy -bsf:v filter_units=remove_types=6 "$m/plain.ts" \
  || { echo "skipped: ffmpeg cannot make the recordings"; exit 77; }
printf '<SAMI><BODY>\n<SYNC Start=0><P Class=KRCC>안녕하세요, 시청자 여러분\n</BODY></SAMI>\n' >"$m/plain.smi"
printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\nseekbar dword 0\ncaptionstyle dword 0\nscreenx dword 320\nscreeny dword 240\nbpp dword 32\n' \
  >"$settings"
. "$(dirname "$0")/player_session.sh"
export SUBLUMEN_FRAME_TRACE=$out/trace

start() {  # name movie
  run=$1
  rm -f "$SUBLUMEN_FRAME_TRACE"
  "$out/bin/sublumen" "$2" >"$out/$run.stderr" 2>&1 &
  player=$!
}
# The lower part of the window once 45 pictures (1.5 s) were presented, trimmed to the caption.
caption() {
  local i presented=0 geometry
  for ((i = 0; i < 600 && presented < 45; i++)); do
    presented=$(grep -c '^P ' "$SUBLUMEN_FRAME_TRACE" 2>/dev/null)
    sleep 0.1
  done
  [ "${presented:-0}" -ge 45 ] || fail "$run: only ${presented:-0} pictures presented"
  geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    END { print "300x90+" x + 10 "+" y + 145 }')
  import -window root "$out/$run.png"
  convert "$out/$run.png" -crop "$geometry" +repage -trim +repage "$out/$run.caption.png"
}

start sami "$m/plain.ts"
ready && {
  caption
  xdotool key Escape
  finish 0 30
}

start tv "$m/news.ts"
ready && {
  wait_for "Load Caption Stream : [708-1, kor]" 10
  caption
  size=$(convert "$out/tv.caption.png" -format '%wx%h' info:)
  [[ $size =~ ^([0-9]+)x([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -gt 150 ] && [ "${BASH_REMATCH[2]}" -gt 10 ] \
    || fail "no caption line on the recording's screen ($size)"
  differing=$(compare -metric AE "$out/tv.caption.png" "$out/sami.caption.png" null: 2>&1)
  [ "$differing" = 0 ] || fail "the Korean TV caption differs from the same SAMI caption in $differing pixels"
  xdotool key y
  wait_for "Caption choice: [708-2]" 10
  wait_for "Good evening, viewers" 10
  xdotool key y
  wait_for "Caption choice: [608-CC1]" 10
  xdotool key y y
  wait_for "Caption choice: [708-1, kor]" 10
  # Six seconds on: the next Korean caption that starts after the seek's target comes as the pictures
  # from there are decoded (the decoder had read only a little past where it stood).
  xdotool key Right
  wait_for "Seek=" 10
  target=$(grep -a '^Seek=' "$log" | tail -1 | cut -d= -f2)
  found=
  for _ in $(seq 400); do
    found=$(grep -aE '^[0-9]{2}:[0-9]{2}\.[0-9]{2}\[ *[0-9]+\]:' "$log" \
      | awk -F'[][]' -v t="${target:-0}" '$2 + 0 > t && $3 ~ /^:(안녕하세요|오늘의|내일은)/ { print; exit }')
    [ -n "$found" ] && break
    sleep 0.1
  done
  [ -n "$found" ] || fail "tv: no Korean caption decoded after the seek to ${target:-?} ms"
  xdotool key Escape
  finish 0 30
}
exit "$failures"
