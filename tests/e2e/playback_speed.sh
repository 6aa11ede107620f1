#!/usr/bin/env bash
# The playback speed under Xvfb, through SDL's disk audio driver (it writes what would be heard, in real
# time): ] pressed five times while the first movie of a list plays makes 1.5x, which the next movie keeps;
# that movie's 9 s of 1 kHz tone are then heard at 1 kHz still (pitch kept) and within 6 s (two thirds).
# Usage: playback_speed.sh SUBLUMEN OUTDIR   (logs and sound stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool ffmpeg xdpyinfo od; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$out/heard.raw"

# The first movie is long and silent, so the keys are surely in before it is left; the second is the
# tone. Mono 48 kHz sound, which the disk device takes as it is. Every device opened writes the file
# afresh, so it ends up holding the second movie's sound alone.
movie() {  # path seconds audio-source
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=25:duration=$2" \
    -f lavfi -i "$3" -c:v mpeg4 -q:v 8 -c:a pcm_s16le -ac 1 -ar 48000 -t "$2" "$1" \
    || { echo "skipped: ffmpeg cannot make the movies"; exit 77; }
}
movie "$m/silent.avi" 60 "anullsrc=channel_layout=mono:sample_rate=48000"
movie "$m/tone.avi" 9 "sine=frequency=1000:sample_rate=48000"
printf '@Silent\nmovie=silent.avi\n@Tone\nmovie=tone.avi\n' >"$m/speed.slm"
printf 'fullscreen dword 0\nasksmi dword 0\nscreenx dword 320\nscreeny dword 240\nresume dword 0\n' \
  >"$out/config/sublumen/settings"

. "$(dirname "$0")/player_session.sh"
run=speed
"$out/bin/sublumen" "$m/speed.slm" >"$out/$run.stderr" 2>&1 &
player=$!
if ready; then
  xdotool key --delay 50 bracketright bracketright bracketright bracketright bracketright
  wait_for "Speed=1.5"
  # The list's next movie starts at the speed chosen.
  xdotool key period
  wait_for "Play[Tone/" && wait_for "No more Movie File to Play." 60
  xdotool key Escape
  finish 0 30
  has "Speed=1.5" || fail "$run: the speed did not reach 1.5"
fi

# Where the tone is heard: the first and the last sample louder than a quiet hiss, in seconds of output.
read -r first last < <(od -An -v -t d2 -w2 "$out/heard.raw" | awk '
  { if ($1 > 2000 || $1 < -2000) { if (first == "") first = NR; last = NR } }
  END { printf "%.3f %.3f\n", first / 48000, last / 48000 }')
span=$(awk -v a="$first" -v b="$last" 'BEGIN { printf "%.2f", b - a }')
echo "tone heard from $first s to $last s: $span s"
awk -v s="$span" 'BEGIN { exit !(s > 5.4 && s < 6.6) }' || fail "the 9 s tone took $span s, not 6 s"
# Its pitch over two seconds from the middle: zero crossings per sample, two to a period.
# Whole samples: a cut between a sample's two bytes would read as noise.
from=$(awk -v a="$first" -v b="$last" 'BEGIN { printf "%d", ((a + b) / 2 - 1) * 48000 }')
tail -c +$((from * 2 + 1)) "$out/heard.raw" | head -c $((2 * 48000 * 2)) >"$out/middle.raw"
rate=$(ffmpeg -hide_banner -nostats -f s16le -ar 48000 -ac 1 -i "$out/middle.raw" -af astats=metadata=0 -f null - 2>&1 \
  | awk '/Zero crossings rate/ { print $NF; exit }')
hz=$(awk -v r="${rate:-0}" 'BEGIN { printf "%.1f", r * 48000 / 2 }')
echo "pitch: $hz Hz"
awk -v f="$hz" 'BEGIN { exit !(f > 990 && f < 1010) }' || fail "the tone is heard at $hz Hz, not 1000 Hz"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s); see $out"
  exit 1
fi
echo "playback speed: ok"
