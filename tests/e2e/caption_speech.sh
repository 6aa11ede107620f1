#!/usr/bin/env bash
# Captions spoken, under Xvfb, by the real speech service: speech-dispatcher with its espeak-ng module, started
# by the player's speech library as a desktop would (autospawn), in a private runtime folder with a
# configuration of the test's own (its log at the level that records each message, the sound to libao's
# null driver). Two movies of a list, with speakcaptions on: an English caption file and a Korean one whose
# first caption is long and is cut off by the second, with a sound description hidden by the movie's
# memory. The service's log must show each caption queued in its track's language without the hidden
# description, the long one cut off, and the synthesiser's sound for the last.
# Usage: caption_speech.sh SUBLUMEN OUTDIR   (logs stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool ffmpeg xdpyinfo speech-dispatcher; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
[ -x /usr/lib/speech-dispatcher-modules/sd_espeak-ng ] || { echo "skipped: no espeak-ng module"; exit 77; }
. "$(dirname "$0")/player_home.sh"

# The service reads its configuration from XDG_CONFIG_HOME and listens in XDG_RUNTIME_DIR; libao reads
# its driver from HOME.
export XDG_RUNTIME_DIR="$out/run" HOME="$out/home"
unset SPEECHD_ADDRESS
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" "$out/config/speech-dispatcher" "$out/speechd"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'default_driver=null\n' >"$HOME/.libao"
cat >"$out/config/speech-dispatcher/speechd.conf" <<EOF
LogLevel 5
LogDir "$out/speechd"
AudioOutputMethod "libao"
AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"
DefaultModule espeak-ng
DefaultLanguage "en"
EOF
spoken=$out/speechd/speech-dispatcher.log

movie() {  # path seconds
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=25:duration=$2" \
    -f lavfi -i "anullsrc=channel_layout=mono:sample_rate=48000" -c:v mpeg4 -q:v 8 -c:a pcm_s16le -t "$2" "$1" \
    || { echo "skipped: ffmpeg cannot make the movies"; exit 77; }
}
movie "$m/english.avi" 2.5
movie "$m/korean.avi" 5
printf '1\n00:00:00,500 --> 00:00:02,000\nThe door is open.\n\n' >"$m/english.srt"
printf '1\n00:00:00,500 --> 00:00:02,500\n[음악] 이것은 아주 긴 첫 번째 자막입니다. 다음 자막이 나오면 말이 끊겨야 합니다. 그래도 계속해서 말합니다.\n\n2\n00:00:02,500 --> 00:00:04,500\n두 번째 자막입니다.\n\n' \
  >"$m/korean.srt"
printf '@English\nmovie=english.avi\n@Korean\nmovie=korean.avi\n' >"$m/speech.slm"
printf 'fullscreen dword 0\nasksmi dword 0\nscreenx dword 320\nscreeny dword 240\nresume dword 0\nspeakcaptions dword 1\n' \
  >"$settings"
# The Korean movie's memory hides its sound descriptions.
mkdir -p "$out/state/sublumen"
printf '# sublumen movies 1\n0\t\tdescriptions=hidden\t%s\n' "$m/korean.avi" >"$out/state/sublumen/movies"

. "$(dirname "$0")/player_session.sh"
run=speech
"$out/bin/sublumen" "$m/speech.slm" >"$out/$run.stderr" 2>&1 &
player=$!
# The synthesiser made sound for the last caption.
last_heard() {
  awk '/Queueing message \|두 번째 자막입니다\.\|/ { seen = 1 } seen && /Got audio/ { found = 1 } END { exit !found }' \
    "$spoken" 2>/dev/null
}
if ready; then
  # The first movie paused until the service is up, however long its start takes here: the captions go by
  # the movies' clock.
  wait_for "Play[" 30
  xdotool key space
  wait_for "speech: connected to the speech service" 60
  xdotool key space
  wait_for "No more Movie File to Play." 90
  # The last caption's sound comes after the movie's end.
  for _ in $(seq 600); do last_heard && break; sleep 0.1; done
  xdotool key Escape
  finish 0 30
fi

# The service ends a while after its last client; it is this test's own, in this test's runtime folder.
pidfile=$(ls "$XDG_RUNTIME_DIR"/speech-dispatcher/pid/*.pid 2>/dev/null | head -1)
[ -n "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null

[ -s "$spoken" ] || fail "the speech service was not started (no $spoken)"
queued() { grep -a "Queueing message |" "$spoken" | sed 's/.*Queueing message |\(.*\)| with priority.*/\1/'; }
echo "queued by the service:"; queued | sed 's/^/  /'
queued | grep -qx "The door is open." || fail "the English caption was not spoken"
queued | grep -qx "이것은 아주 긴 첫 번째 자막입니다. 다음 자막이 나오면 말이 끊겨야 합니다. 그래도 계속해서 말합니다." \
  || fail "the long Korean caption was not spoken without its description"
queued | grep -qx "두 번째 자막입니다." || fail "the second Korean caption was not spoken"
queued | grep -q "음악" && fail "the hidden description was spoken"
# The language set before each: English, then Korean.
languages=$(grep -aoE 'SET SELF LANGUAGE [a-z]+' "$spoken" | awk '{ print $4 }' | uniq | paste -sd' ')
echo "languages set: $languages"
[ "$languages" = "en ko" ] || fail "languages set: '$languages', expected 'en ko'"
grep -aq "CANCEL" "$spoken" || fail "the long caption was not cut off"
last_heard || fail "no sound was made for the last caption"
grep -a "speech: began" "$out/$run.log" | sed 's/^/  /'

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s); see $out"
  exit 1
fi
echo "caption speech: ok"
