#!/usr/bin/env bash
# Captions synced to the speech and saved, under Xvfb: a movie of three minutes of synthesised speech (espeak-ng)
# at known, uneven times over noise, and a CP949 SAMI file whose captions come 3.2 s late. F5 finds the
# shift and applies it; F6 writes the file again with every caption where the speech is (within 150 ms),
# in CP949, keeps the original beside it as movie.smi.orig, and the sync goes back to 0.
# Usage: caption_sync.sh PLAYER OUTDIR   (logs and files stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool espeak-ng sox ffmpeg iconv; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\nscreenx dword 640\nscreeny dword 480\nbpp dword 32\n' \
  >"$settings"

# The speech: 36 sentences, each trimmed to its words and laid at its own time.
words=(river morning letter window station garden silver yellow quiet answer market winter
  doctor kitchen basket pocket hammer candle island ladder mirror rocket saddle tunnel)
mix=()
: >"$m/truth"
for i in $(seq 0 35); do
  start=$((1500 + i * 4600 + (i * i * 737) % 2300))
  text="the ${words[$((i % 24))]} was ${words[$(((i * 7) % 24))]} and ${words[$(((i * 5 + 3) % 24))]} again"
  espeak-ng -v en-us -s 170 -w "$m/raw$i.wav" "$text" || { echo "skipped: espeak-ng cannot speak"; exit 77; }
  sox "$m/raw$i.wav" -r 22050 "$m/said$i.wav" silence 1 0.005 0.5% reverse silence 1 0.005 0.5% reverse
  length=$(soxi -D "$m/said$i.wav")
  sox "$m/said$i.wav" "$m/at$i.wav" pad "$((start / 1000)).$(printf '%03d' $((start % 1000)))"
  mix+=("$m/at$i.wav")
  echo "$start $length" >>"$m/truth"
done
# -R: the same noise every run.
sox -R -m "${mix[@]}" "$m/speech.wav" norm -3 pad 0 3
sox -R "$m/speech.wav" -p synth pinknoise vol 0.03 | sox -R -m "$m/speech.wav" - "$m/sound.wav"
ffmpeg -loglevel error -y -f lavfi -i color=c=gray:s=320x240:r=25 -i "$m/sound.wav" -shortest \
  -c:v mpeg4 -q:v 10 -c:a aac -b:a 96k "$m/movie.mkv" || { echo "skipped: no movie"; exit 77; }
movie=$m/movie.mkv
{
  printf '<SAMI>\r\n<HEAD><TITLE>sync</TITLE></HEAD>\r\n<BODY>\r\n'
  n=0
  while read -r start length; do
    s=$((start + 3200))
    e=$(awk -v s="$s" -v l="$length" 'BEGIN { printf "%d", s + l * 1000 + 300 }')
    printf '<SYNC Start=%d><P Class=KRCC>자막 %d번\r\n<SYNC Start=%d><P Class=KRCC>&nbsp;\r\n' "$s" "$n" "$e"
    n=$((n + 1))
  done <"$m/truth"
  printf '</BODY>\r\n</SAMI>\r\n'
} | iconv -f UTF-8 -t CP949 >"$m/movie.smi"
cp "$m/movie.smi" "$out/original.smi"

. "$(dirname "$0")/player_session.sh"
run=sync
"$out/bin/sublumen" "$movie" >"$out/player.out" 2>&1 &
player=$!
ready || exit 1

xdotool key F5
wait_for "Caption job: 싱크" 120
has "Caption job: 싱크 맞춤: +3." || { fail "not synced: $(grep -a 'Caption job' "$log")"; xdotool key Escape; finish 0 30; exit 1; }
xdotool key F6
wait_for "Caption job: 자막 저장: movie.smi" 60
xdotool key Escape
finish 0 30

cmp -s "$m/movie.smi.orig" "$out/original.smi" || fail "movie.smi.orig is not the original"
# The saved file: CP949 still, every caption where its words are.
LC_ALL=C grep -qa "$(printf '자막 3번' | iconv -f UTF-8 -t CP949)" "$m/movie.smi" || fail "the saved file is not CP949"
mapfile -t saved < <(LC_ALL=C grep -ao 'SYNC Start=[0-9]*><P Class=KRCC>[^&]' "$m/movie.smi" | sed 's/SYNC Start=\([0-9]*\).*/\1/')
mapfile -t truth < <(cut -d' ' -f1 "$m/truth")
[ "${#saved[@]}" = "${#truth[@]}" ] || fail "${#saved[@]} captions saved of ${#truth[@]}"
for i in "${!truth[@]}"; do
  d=$((saved[i] - truth[i]))
  [ "${d#-}" -le 150 ] || fail "caption $i saved at ${saved[i]} ms, spoken at ${truth[i]} ms"
done
# The sync went back to 0 with the file carrying it: the movie memory keeps no shift for the movie.
memory=$(grep -a "$movie\$" "$out/state/sublumen/movies" 2>/dev/null | tail -1)
[ -z "$memory" ] || [ "${memory%%$'\t'*}" = 0 ] || fail "the movie memory still shifts: $memory"
[ "$failures" -eq 0 ] && echo "PASS"
exit $((failures > 0))
