#!/usr/bin/env bash
# The audio stream heard, under Xvfb, through SDL's disk audio driver (it writes what would be heard, in
# real time): a movie with a 440 Hz stream tagged kor (the first, flagged default) and an 880 Hz stream
# tagged eng. With audiolang eng the movie starts with 880 Hz; W turns it to 440 Hz while the picture
# plays on; started again, the movie keeps the stream chosen with W.
# Usage: audio_track.sh SUBLUMEN OUTDIR   (logs, sound and screenshots stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool ffmpeg xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
export SDL_AUDIODRIVER=disk

# 60 s, so the movie is still playing at every check; mono 48 kHz sound in both streams.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=25:duration=60" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
  -f lavfi -i "sine=frequency=880:sample_rate=48000:duration=60" \
  -map 0:v -map 1:a -map 2:a -c:v mpeg4 -q:v 8 -c:a aac -ac 1 \
  -metadata:s:a:0 language=kor -metadata:s:a:1 language=eng \
  -disposition:a:0 default -disposition:a:1 0 "$m/two.mkv" || { echo "skipped: ffmpeg cannot make the movie"; exit 77; }
printf 'fullscreen dword 0\nasksmi dword 0\nscreenx dword 320\nscreeny dword 240\naudiolang sz eng\n' \
  >"$settings"

. "$(dirname "$0")/player_session.sh"
start() {  # name
  run=$1
  export SDL_DISKAUDIOFILE="$out/$run.raw"
  "$out/bin/sublumen" "$m/two.mkv" >"$out/$run.stderr" 2>&1 &
  player=$!
}
quit() {
  xdotool key Escape
  finish 0 30
}
# The tone of the last half second written: its zero-crossing rate tells 440 Hz (0.018) from 880 Hz
# (0.037) at 48 kHz, 16-bit mono.
tone() {  # name label
  local raw="$out/$1-$2.raw" bytes rate
  cp "$out/$1.raw" "$raw"
  bytes=$(stat -c %s "$raw")
  [ "$bytes" -gt 96000 ] || { echo none; return; }
  tail -c 48000 "$raw" >"$raw.tail"
  rate=$(ffmpeg -hide_banner -nostats -f s16le -ar 48000 -ac 1 -i "$raw.tail" -af astats=metadata=0 -f null - 2>&1 \
    | awk '/Zero crossings rate/ { print $NF; exit }')
  awk -v r="${rate:-0}" 'BEGIN { if (r > 0.012 && r < 0.025) print 440; else if (r > 0.03 && r < 0.045) print 880; else print "other:" r }'
}
expect_tone() {  # label hz
  local heard
  heard=$(tone "$run" "$1")
  [ "$heard" = "$2" ] || fail "$run: $1: heard $heard, not $2 Hz"
}

start first
ready && {
  sleep 2
  expect_tone start 880
  xdotool key w
  wait_for "Audio: stream 1." 10
  sleep 1.5
  expect_tone after-w 440
  # Once more round: back to the English stream, then to the Korean one, which the movie keeps.
  xdotool key w; sleep 0.5; xdotool key w
  sleep 1.5
  expect_tone twice-more 440
  grep -qaF "cannot" "$log" && fail "$run: a stream could not be played"
  quit
}

start again
ready && {
  sleep 2
  expect_tone start 440
  quit
}

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s); see $out"
  exit 1
fi
echo "audio track: ok"
