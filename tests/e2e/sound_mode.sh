#!/usr/bin/env bash
# The sound modes under Xvfb, through SDL's disk audio driver (it writes what would be heard, in real
# time): a 5.1 movie with a 1 kHz tone in the centre, where dialogue sits, and a 440 Hz tone in the four
# sides. F4 three times, 2.5 s of sound apart: clear dialogue, night, normal again. The centre tone must
# stand at least 6 dB higher against the side tone in the clear and night stretches than in the normal
# ones, and the end must sound like the start. How long after each press the change was heard is printed (not checked:
# it depends on the machine's pace).
# Usage: sound_mode.sh SUBLUMEN OUTDIR   (logs and sound stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool ffmpeg xdpyinfo od; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$out/heard.raw"

ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=25:duration=16" \
  -f lavfi -i "aevalsrc=exprs=0.3*sin(2*PI*440*t)|0.3*sin(2*PI*440*t)|0.3*sin(2*PI*1000*t)|0|0.3*sin(2*PI*440*t)|0.3*sin(2*PI*440*t):c=5.1(side):s=48000:d=16" \
  -c:v mpeg4 -q:v 8 -c:a pcm_s16le -t 16 "$m/tones.avi" || { echo "skipped: ffmpeg cannot make the movie"; exit 77; }
printf 'fullscreen dword 0\nasksmi dword 0\nscreenx dword 320\nscreeny dword 240\nresume dword 0\n' >"$settings"

. "$(dirname "$0")/player_session.sh"
run=modes
"$out/bin/sublumen" "$m/tones.avi" >"$out/$run.stderr" 2>&1 &
player=$!
if ready; then
  # Each mode plays 2.5 s by the sound device's own clock (what it has written), never the machine's.
  played() { stat -c %s "$out/heard.raw" 2>/dev/null || echo 0; }
  play_for() {  # tenths of a second
    local until=$(( $(played) + $1 * 19200 ))
    for _ in $(seq 600); do [ "$(played)" -ge "$until" ] && return 0; sleep 0.1; done
  }
  for mode in 1 2 0; do
    play_for 25
    xdotool key F4
    wait_for "SoundMode=$mode"
  done
  play_for 25
  xdotool key Escape
  finish 0 30
fi

# The centre tone against the side tone, in dB, over twentieths of a second of what was heard.
levels() {  # frequency
  ffmpeg -hide_banner -nostats -f s16le -ar 48000 -ac 2 -i "$out/heard.raw" \
    -af "bandpass=f=$1:w=40:t=h,asetnsamples=n=2400:p=0,astats=metadata=1:reset=1:measure_overall=RMS_level:measure_perchannel=none,ametadata=print:key=lavfi.astats.Overall.RMS_level:file=-" \
    -f null - 2>/dev/null | awk -F= '/RMS_level/ { print $2 }'
}
# The movie sounds throughout, and its clock is the sound played: a twentieth of a second that sounds is a
# twentieth of movie time, wherever the device was fed silence while the player was held up (a busy machine).
paste <(levels 1000) <(levels 440) | awk '$1 != "-inf" && $2 != "-inf" { printf "%.3f %.1f\n", n / 20, $1 - $2; n++ }' >"$out/ratio.txt"
# The stretches between the presses, from the log's stream times, each without its first 0.8 s.
mapfile -t pressed < <(grep -a "^SoundMode=" "$out/$run.log" | sed 's/.*Time=\([0-9]*\).*/\1/')
[ "${#pressed[@]}" -eq 3 ] || fail "three mode changes expected in the log, found ${#pressed[@]}"
mean() {  # from to (movie seconds)
  awk -v a="$1" -v b="$2" '$1 >= a && $1 < b { s += $2; n++ } END { if (n) printf "%.1f", s / n; else print "none" }' "$out/ratio.txt"
}
if [ "${#pressed[@]}" -eq 3 ]; then
  p1=$(awk -v t="${pressed[0]}" 'BEGIN { print t / 1000 }')
  p2=$(awk -v t="${pressed[1]}" 'BEGIN { print t / 1000 }')
  p3=$(awk -v t="${pressed[2]}" 'BEGIN { print t / 1000 }')
  normal=$(mean 0.5 "$p1")
  clear=$(mean "$(awk -v p="$p1" 'BEGIN { print p + 0.8 }')" "$p2")
  night=$(mean "$(awk -v p="$p2" 'BEGIN { print p + 0.8 }')" "$p3")
  again=$(mean "$(awk -v p="$p3" 'BEGIN { print p + 0.8 }')" 1000)
  echo "centre against sides, dB: normal $normal, clear dialogue $clear, night $night, normal again $again"
  awk -v n="$normal" -v c="$clear" 'BEGIN { exit !(c - n >= 6) }' || fail "clear dialogue raised the centre by $clear - $normal dB only"
  awk -v n="$normal" -v c="$night" 'BEGIN { exit !(c - n >= 6) }' || fail "night mode raised the centre by $night - $normal dB only"
  awk -v n="$normal" -v c="$again" 'BEGIN { exit !(c - n < 2 && n - c < 2) }' || fail "normal sound again is $again dB, not $normal"
  # When the first change was heard: the first twentieth of a second after the press whose level is halfway there.
  heard=$(awk -v p="$p1" -v n="$normal" -v c="$clear" \
    '$1 >= p && $2 > (n + c) / 2 { printf "%.0f", ($1 - p) * 1000; exit }' "$out/ratio.txt")
  echo "clear dialogue heard ${heard:-?} ms after the press (to 50 ms)"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s); see $out"
  exit 1
fi
echo "sound modes: ok"
