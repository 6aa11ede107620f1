#!/usr/bin/env bash
# A sound server that goes away while a movie plays, under Xvfb: the test runs its own PulseAudio (a null
# sink, a private runtime folder and socket), kills it three seconds into the movie and starts it again,
# at another sample rate, two and a half seconds later. Pictures keep coming all the while, the status
# bar names the lost device, the sound is heard again on the new server and stays in step with the
# pictures (the frame trace: pictures delivered, sound handed to the device).
# Usage: sound_device.sh SUBLUMEN OUTDIR   (logs, trace and screenshots stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool import convert ffmpeg xdpyinfo pulseaudio pactl parec; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
mkdir -p "$out/pulse-home"
mkdir -m 700 "$out/runtime"
export SUBLUMEN_FRAME_TRACE="$out/trace"
# Only the test's server: no other one found through the session, none spawned by the client library.
export SDL_AUDIODRIVER=pulseaudio XDG_RUNTIME_DIR="$out/runtime" PULSE_SERVER="unix:$out/runtime/native"
printf 'autospawn = no\n' >"$out/client.conf"
export PULSE_CLIENTCONFIG="$out/client.conf"

# 40 s of black pictures at 50 per second (the status bar's green text is then the only green) and a
# 440 Hz tone.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "color=c=black:s=320x240:r=50:d=40" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=40" \
  -c:v mpeg4 -q:v 8 -c:a pcm_s16le -ac 1 "$m/movie.avi" || { echo "skipped: ffmpeg cannot make the movie"; exit 77; }
printf 'fullscreen dword 0\nasksmi dword 0\nseekbar dword 0\nscreenx dword 320\nscreeny dword 240\n' \
  >"$out/config/sublumen/settings"

pulse_pid=
# Runs as root too (CI does): -n loads nothing but the two modules named, and HOME keeps its cookie and
# state out of the real home.
pulse_start() {  # rate
  HOME="$out/pulse-home" XDG_CONFIG_HOME="$out/pulse-home" pulseaudio -n --daemonize=no --use-pid-file=no \
    --exit-idle-time=-1 --disallow-exit --load="module-null-sink sink_name=out rate=$1" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$out/runtime/native" >>"$out/pulse.log" 2>&1 &
  pulse_pid=$!
  for _ in $(seq 300); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "no PulseAudio at $1 Hz after 30 s: $(tail -n 3 "$out/pulse.log")"
  return 1
}
. "$(dirname "$0")/player_session.sh"
# The server goes before the session's clean-up, which waits for every child.
trap '[ -n "$pulse_pid" ] && kill -KILL "$pulse_pid" 2>/dev/null; cleanup' EXIT
now_us() { date +%s%6N; }
window_shot() {  # name
  import -window "$window" "$out/$1.png"
}
# Green pixels of the status bar's line, the bottom 16 rows of the 320x240 window.
status_green() {  # name
  convert "$out/$1.png" -crop 320x16+0+224 +repage -fuzz 25% -fill black +opaque "rgb(0,255,0)" \
    -fill white -opaque "rgb(0,255,0)" -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:
}
# The null sink's monitor for a second and a half: its RMS level in dB and its zero-crossing rate, which
# is 2 x 440 / 48000 = 0.0183 for the movie's tone at its own pitch (sound made for one rate and played
# at another would be 7 % off). Silent stretches are left out first: a loaded machine may leave a gap of
# a few tens of milliseconds, which would lower the rate as much as a wrong pitch does.
heard() {  # name
  timeout 1.5 parec -d out.monitor --raw --format=s16le --rate=48000 --channels=1 >"$out/$1.raw" 2>/dev/null
  ffmpeg -hide_banner -nostats -f s16le -ar 48000 -ac 1 -i "$out/$1.raw" \
    -af silenceremove=stop_periods=-1:stop_duration=0.01:stop_threshold=-50dB,astats=metadata=0 -f null - 2>&1 \
    | awk '/RMS level dB/ { v = $NF } /Zero crossings rate/ { z = $NF } END { print (v == "" ? "-inf" : v), z + 0 }'
}
# The tone, loud enough and at its pitch.
tone_heard() {  # level rate
  awk -v l="$1" -v z="$2" 'BEGIN { exit !(l != "-inf" && l + 0 > -40 && z > 0.0178 && z < 0.0189) }'
}

run=sound
pulse_start 48000 || exit 1
"$out/bin/sublumen" "$m/movie.avi" >"$out/sound.stderr" 2>&1 &
player=$!
ready || exit 1
sleep 3
read -r level rate < <(heard before)
tone_heard "$level" "$rate" || fail "no tone before the server went away (RMS $level dB, zero crossings $rate)"

killed_at=$(now_us)
kill -KILL "$pulse_pid"; wait "$pulse_pid" 2>/dev/null; pulse_pid=
wait_for "the sound device went away" 10
sleep 0.5  # a frame composed since
window_shot lost
green_lost=$(status_green lost)
sleep 2.5
pulse_start 44100 || exit 1
wait_for "the default device is back" 15
back_at=$(now_us)
sleep 2
read -r level rate < <(heard after)
tone_heard "$level" "$rate" || fail "no tone after the server came back (RMS $level dB, zero crossings $rate)"
echo "heard after the return: RMS $level dB, zero crossings $rate"
sleep 4
window_shot settled
green_settled=$(status_green settled)
ended_at=$(now_us)
xdotool key Escape
finish 0 30

[ "$green_lost" -gt 20 ] || fail "the status bar says nothing while the device is lost ($green_lost green pixels)"
[ "$green_settled" -eq 0 ] || fail "the status bar still has a notice after the device came back ($green_settled)"

# Pictures throughout: the longest time between two delivered pictures from the kill to the end, and
# how far the pictures moved on meanwhile against the wall clock.
read -r gap moved spent < <(awk -v from="$killed_at" -v to="$ended_at" '
  $1 == "D" && $2 >= from && $2 <= to {
    if (last) { g = $2 - last; if (g > gap) gap = g } else { first = $3; firstWall = $2 }
    last = $2; pos = $3
  }
  END { printf "%d %d %d\n", gap / 1000, pos - first, (last - firstWall) / 1000 }' "$out/trace")
echo "longest wait for a picture: $gap ms; pictures moved $moved ms in $spent ms"
[ "$gap" -lt 1000 ] || fail "the pictures stood for $gap ms"
[ "$moved" -gt $((spent * 8 / 10)) ] || fail "the pictures moved $moved ms in $spent ms"

# In step after the return: each picture delivered from 2.5 s to 5.5 s after it, its middle (a picture
# lasts 20 ms) against the sound position at that moment (the last sound handed, plus the time since).
read -r count offset < <(awk -v from="$((back_at + 2500000))" -v to="$((back_at + 5500000))" '
  $1 == "A" { aWall = $2; aPos = $3 }
  $1 == "D" && $2 >= from && $2 <= to && aWall > 0 { o[n++] = $3 + 10 - (aPos + ($2 - aWall) / 1000) }
  END {
    for (i = 1; i < n; i++) { v = o[i]; for (j = i - 1; j >= 0 && o[j] > v; j--) o[j + 1] = o[j]; o[j + 1] = v }
    printf "%d %d\n", n, n ? o[int(n / 2)] : 0
  }' "$out/trace")
echo "A/V offset after the return: $offset ms (median of $count pictures)"
[ "$count" -gt 50 ] || fail "only $count pictures after the return"
[ "$offset" -gt -50 ] && [ "$offset" -lt 50 ] || fail "the sound is $offset ms off the pictures"
grep -qaF "went away" "$log" && [ "$(grep -caF "went away" "$log")" -eq 1 ] || fail "the loss is not logged once"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s); see $out"
  exit 1
fi
echo "sound device: ok"
