#!/usr/bin/env bash
# The transcript panel, copying and study cards under Xvfb, typed as a user types. F3 opens the panel on
# the movie's captions; ㄱㅊㅇ, typed as text, leaves the one line whose syllables begin with those
# consonants; Enter moves the movie to that line's start. Closed again (Esc), Ctrl+C puts the caption
# shown on the clipboard, where xclip reads it; Ctrl+S keeps it as a card: a line in cards.tsv with
# its times and texts, an MP3 (or Opus) of the line's length and a PNG of the movie's picture in media/,
# once however often the key is pressed. The movie is paused first, so nothing depends on how fast the
# player runs: the caption shown stays the one gone to.
# Usage: transcript.sh PLAYER MAKE_MOVIE OUTDIR   (logs, cards and screenshots stay in OUTDIR)
set -uo pipefail
program=$1
make_movie=$2
out=$3
for tool in Xvfb xdotool xmodmap xclip identify ffprobe xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
export XDG_DATA_HOME="$out/data"
cards=$out/data/sublumen
movie=$m/movie.avi
"$make_movie" "$movie" avi 60 320 240 25 >/dev/null || { echo "skipped: no fixture movie"; exit 77; }
cat >"$m/movie.smi" <<'SAMI'
<SAMI><BODY>
<SYNC Start=1000><P Class=KRCC>고양이가 창문을 본다
<SYNC Start=4000><P Class=KRCC>&nbsp;
<SYNC Start=5000><P Class=KRCC>같이 가자
<SYNC Start=8000><P Class=KRCC>&nbsp;
<SYNC Start=30000><P Class=KRCC>정말 괜찮아?<br>다친 데는 없어?
<SYNC Start=33000><P Class=KRCC>&nbsp;
<SYNC Start=52000><P Class=KRCC>기차 출발 오분 전
<SYNC Start=55000><P Class=KRCC>&nbsp;
</BODY></SAMI>
SAMI
printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\nscreenx dword 640\nscreeny dword 480\nbpp dword 32\n' \
  >"$settings"

. "$(dirname "$0")/player_session.sh"
run=transcript
"$out/bin/sublumen" "$movie" >"$out/player.out" 2>&1 &
player=$!
ready || exit 1
# The letters typed get keys of their own. Otherwise xdotool lends a key to each letter and takes it back
# right after the release, and a player slow to read the press (a loaded machine) finds no letter on it.
# Only now: while no client is connected the server resets its keyboard map.
spare=($(xmodmap -pke | awk 'NF == 3 { print $2 }' | tail -n 3))
[ "${#spare[@]}" = 3 ] || { echo "skipped: no spare keys"; exit 77; }
xmodmap -e "keycode ${spare[0]} = U3131" -e "keycode ${spare[1]} = U314A" -e "keycode ${spare[2]} = U3147"

# Space pauses; typed while the panel is open it would search.
xdotool key space
wait_for "KeyDown=0x20"
xdotool key F3
wait_for "Transcript: 4 lines"
xdotool type --delay 150 'ㄱㅊㅇ'
wait_for 'Transcript: query "ㄱㅊㅇ", 1 of 4 lines'
xdotool key Return
wait_for "Transcript: to the line at 30000 (movie time 30000)"
wait_for "Seek=30000"
xdotool key Escape
xdotool key ctrl+c
wait_for "Copy: "
kill -0 "$player" 2>/dev/null || fail "Esc closed the player, not the panel"
copied=$(xclip -selection clipboard -o 2>/dev/null)
[ "$copied" = $'정말 괜찮아?\n다친 데는 없어?' ] || fail "the clipboard holds \"$copied\""
primary=$(xclip -selection primary -o 2>/dev/null)
[ "$primary" = "$copied" ] || fail "the primary selection holds \"$primary\""

xdotool key ctrl+s
wait_for "Card saved:" 60
line=$(cat "$cards/cards.tsv" 2>/dev/null)
field() { cut -f"$1" <<<"$line"; }  # tabs in a row are empty fields, which read would merge
name=$(field 1) start=$(field 2) end=$(field 3) text=$(field 4) second=$(field 5) sound=$(field 6) picture=$(field 7)
[ "$name" = movie.avi ] || fail "card's movie: $name"
[ "$start" = 00:00:30.000 ] || fail "card's start: $start"
[ "$end" = 00:00:33.000 ] || fail "card's end: $end"
[ "$text" = "정말 괜찮아?<br>다친 데는 없어?" ] || fail "card's text: $text"
[ -z "$second" ] || fail "card's second caption: $second"
soundFile=$(sed -n 's/^\[sound:\(.*\)\]$/\1/p' <<<"$sound")
pictureFile=$(sed -n 's/^<img src="\(.*\)">$/\1/p' <<<"$picture")
[ -s "$cards/media/$soundFile" ] || fail "no sound file \"$soundFile\" ($sound)"
[ -s "$cards/media/$pictureFile" ] || fail "no picture file \"$pictureFile\" ($picture)"
seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$cards/media/$soundFile" 2>/dev/null)
awk -v s="${seconds:-0}" 'BEGIN { exit !(s > 2.5 && s < 3.5) }' || fail "the sound lasts ${seconds:-?} s, not 3"
[ "$(identify -format '%wx%h' "$cards/media/$pictureFile" 2>/dev/null)" = 320x240 ] \
  || fail "the picture is not the movie's 320x240 frame"

# Pressed again and again, the same caption stays one card.
xdotool key --delay 30 ctrl+s ctrl+s ctrl+s ctrl+s ctrl+s ctrl+s ctrl+s ctrl+s ctrl+s ctrl+s
for _ in $(seq 300); do
  [ "$(grep -ac 'is kept already' "$log")" -ge 10 ] && break
  sleep 0.1
done
[ "$(grep -ac 'Card: 00:00:30.000 to 00:00:33.000 is kept already' "$log")" = 10 ] \
  || fail "ten more presses were not all told the card is kept already"
[ "$(wc -l <"$cards/cards.tsv")" = 1 ] || fail "cards.tsv has $(wc -l <"$cards/cards.tsv") lines after eleven presses"
[ "$(ls "$cards/media" | wc -l)" = 2 ] || fail "media/ holds $(ls "$cards/media" | wc -l) files"

xdotool key Escape
finish 0 30

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); log and cards in $out"
  exit 1
fi
echo "transcript checks passed"
