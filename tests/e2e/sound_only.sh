#!/usr/bin/env bash
# A song without a picture under Xvfb: an MP3 with a cover picture and a SAMI file of four stacked
# lyric lines beside it. It plays on black with its lyrics and status bar, the lyrics drawn over the
# status bar as every caption that fits is, seeks with the keys and ends when its sound ends; the lyrics
# file as the path finds the song.
# Usage: sound_only.sh SUBLUMEN OUTDIR   (logs and screenshots stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool import convert ffmpeg xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"

# 20 s of tone with a red cover picture, which must not be taken for a one-picture movie.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=20" \
  -f lavfi -i "color=c=red:s=64x64:d=1" -map 0:a -map 1:v -frames:v 1 -c:a libmp3lame -c:v png \
  -disposition:v attached_pic -id3v2_version 3 "$m/song.mp3" || { echo "skipped: ffmpeg cannot make an MP3"; exit 77; }
printf '<SAMI><BODY>\n<SYNC Start=100><P Class=KRCC>첫째 줄 가사<br>둘째 줄 가사<br>셋째 줄 가사<br>넷째 줄 가사\n<SYNC Start=60000><P Class=KRCC>&nbsp;\n</BODY></SAMI>\n' \
  >"$m/song.smi"
# A 640x480 window, the status bar on (the default).
printf 'fullscreen dword 0\nasksmi dword 0\nscreenx dword 640\nscreeny dword 480\n' >"$settings"

. "$(dirname "$0")/player_session.sh"
start() {  # name path
  run=$1
  "$out/bin/sublumen" "$2" >"$out/$run.stderr" 2>&1 &
  player=$!
}
key() { xdotool key --delay 60 "$@"; }
# The 640x480 window sits in the middle of the 1280x1024 screen.
shot() { import -window root "$out/$run-$1.png"; }
# Pure white pixels (caption text, the position mark) in a rectangle of the window.
white() {  # shot width height x y
  convert "$out/$run-$1.png" -crop "$2x$3+$((320 + $4))+$((272 + $5))" +repage -fill black +opaque white \
    -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:
}
brightness() {  # shot width height x y
  convert "$out/$run-$1.png" -crop "$2x$3+$((320 + $4))+$((272 + $5))" +repage -colorspace gray -format '%[fx:mean]' info:
}

# 1. The song plays on black with its four lines of lyrics over the status bar, seeks, and ends.
start song "$m/song.mp3"
ready
wait_for "has no picture: its sound plays on black"
has "Video Load Fail" && fail "song: $(grep -a 'Video Load Fail' "$log")"
wait_for "Load SAMI Caption : $m/song.smi"
shown=
for i in $(seq 30); do
  shot lyrics
  [ "$(white lyrics 640 464 0 0)" -gt 500 ] && { shown=1; break; }
  sleep 0.3
done
[ -n "$shown" ] || fail "song: no lyrics on the screen"
# The block ends 2 pixels above the bottom, its last line over the status bar's 16 rows.
bar=$(white lyrics 640 16 0 464)
[ "$bar" -gt 16 ] || fail "song: the last line of the lyrics is not over the status bar ($bar white pixels)"
awk -v v="$(brightness lyrics 640 300 0 0)" 'BEGIN { exit !(v < 0.01) }' || fail "song: the screen above the lyrics is not black"
green=$(convert "$out/song-lyrics.png" -crop 160x16+320+736 +repage -fx 'g > 0.5 && r < 0.2 && b < 0.2' \
  -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:)
[ "$green" -gt 20 ] || fail "song: no status time"
key Right
wait_for "Seek=" || true
key End
wait_for "MS_S_ENDOFSTREAM at" 30
wait_for $'No more Movie File to Play.\n' 30
key Escape
finish

# 2. The lyrics file as the path finds the song beside it.
start lyrics "$m/song.smi"
ready
wait_for "Play[" && { has "$m/song.mp3" || fail "lyrics: the song was not found: $(grep -a 'Play\[' "$log")"; }
has "No Movie for the Caption File" && fail "lyrics: no movie found for the lyrics"
key Escape
finish

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); logs and screenshots in $out"
  exit 1
fi
echo "sound-only checks passed"
