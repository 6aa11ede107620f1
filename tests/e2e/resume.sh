#!/usr/bin/env bash
# A movie started again goes on where it was: a two-minute movie is moved to its second minute, the
# player is killed (kill -9) once the position has been saved while playing, and the next start resumes
# within the save interval of where it was killed, saying so on the status bar. Played to its end, the
# movie starts from its beginning next time.
# Usage: resume.sh SUBLUMEN OUTDIR   (logs and screenshots stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool import convert ffmpeg xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
memory="$out/state/sublumen/movies"
movie="$out/media/movie.mkv"
# The dummy sound device takes the sound in real time, so the movie's clock follows the wall clock.

# A grey picture, so that green on the status line is only its text.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "color=c=0x404040:size=160x120:rate=10:duration=120" \
  -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=120" -c:v mpeg4 -q:v 10 -c:a aac -shortest "$movie" \
  || { echo "skipped: ffmpeg cannot make the movie"; exit 77; }
printf 'fullscreen dword 0\nasksmi dword 0\nscreenx dword 640\nscreeny dword 480\n' >"$settings"

. "$(dirname "$0")/player_session.sh"
start() {  # name
  run=$1
  "$out/bin/sublumen" "$movie" >"$out/$run.stderr" 2>&1 &
  player=$!
}
key() { xdotool key --delay 60 "$@"; }
saved() { sed -n 's/.*position=\([0-9]*\)\t.*/\1/p' "$memory" 2>/dev/null; }
now() { date +%s%N | cut -c1-13; }

# First run: a minute on, then killed 2 s after the first save while playing (10 s after the start).
start killed
ready
key Next
wait_for "Seek=" || true
seek=$(grep -a -m1 '^Seek=' "$log" | cut -d= -f2)
seekAt=$(now)
position=
for _ in $(seq 300); do position=$(saved); [ -n "$position" ] && break; sleep 0.1; done
[ -n "$position" ] || fail "killed: no position saved while playing"
sleep 2
killedAt=$(now)
kill -KILL "$player"; wait "$player" 2>/dev/null; player=
cp "$log" "$out/killed.log" 2>/dev/null
# Where the movie stood when it was killed: the seek's target and the time played since.
killed=$(( ${seek:-0} + killedAt - seekAt ))

start resumed
ready
if wait_for "Movie memory: resuming at"; then
  import -window root "$out/resumed.png"
  resumed=$(grep -a -m1 'Movie memory: resuming at' "$log" | sed 's/[^0-9]*\([0-9]*\).*/\1/')
  [ "$resumed" = "$position" ] || fail "resumed: at $resumed, but $position was saved"
  # The save interval, and a second for a loaded machine.
  [ "$resumed" -le "$killed" ] && [ "$resumed" -ge $((killed - 11000)) ] \
    || fail "resumed: at $resumed, killed at about $killed"
  grep -qa "^Seek=$position$" "$log" || fail "resumed: no seek to $position"
  # The notice right of the status time: green text in the window's bottom line (the window sits in the
  # middle of the 1280x1024 screen).
  green=$(convert "$out/resumed.png" -crop 300x16+450+736 +repage -fx 'g > 0.5 && r < 0.2 && b < 0.2' \
    -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:)
  [ "$green" -gt 20 ] || fail "resumed: no notice on the status bar"
fi
# Played to its end: forgotten.
key End
wait_for $'No more Movie File to Play.\n' 30
key Escape
finish 0 30
[ -z "$(saved)" ] || fail "ended: the position $(saved) is still remembered"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); logs and screenshots in $out"
  exit 1
fi
echo "resume checks passed"
