#!/usr/bin/env bash
# Screenshots under Xvfb: a paused 320x240 movie in a 640x480 window with a caption. F12 twice writes
# two PNG files of the window's size whose caption band is what the screen shows, the second with its
# own name; Shift+F12 writes the movie's frame at 320x240. The pictures folder comes from
# user-dirs.dirs ("$HOME/..."), is made when missing, and the movie's name loses its control
# character and look-alike slash.
# Usage: screenshot.sh PLAYER MAKE_MOVIE OUTDIR   (logs and pictures stay in OUTDIR)
set -uo pipefail
program=$1
make_movie=$2
out=$3
for tool in Xvfb xdotool import convert compare identify xwininfo xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
mkdir -p "$out/home"
export HOME="$out/home"
pictures=$out/home/Shots
movie=$out/media/$'clip\x01one\u2215two.avi'
"$make_movie" "$movie" avi 60 320 240 25 >/dev/null || { echo "skipped: no fixture movie"; exit 77; }
printf '<SAMI><BODY>\n<SYNC Start=0><P Class=KRCC>화면 저장 시험 자막입니다\n</BODY></SAMI>\n' >"${movie%.avi}.smi"
printf 'fullscreen dword 0\nasksmi dword 0\nhelp dword 0\nscreenx dword 640\nscreeny dword 480\nbpp dword 32\n' \
  >"$settings"
printf '# written by xdg-user-dirs-update\nXDG_PICTURES_DIR="$HOME/Shots"\n' >"$out/config/user-dirs.dirs"

. "$(dirname "$0")/player_session.sh"
run=shots
count() { local n; n=$(grep -ac -- "$1" "$log" 2>/dev/null); echo "${n:-0}"; }
wait_count() {  # text count seconds
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    [ "$(count "$1")" -ge "$2" ] && return 0
    sleep 0.1
  done
  fail "fewer than $2 \"$1\" in the log after $3 s"
  return 1
}

"$out/bin/sublumen" "$movie" >"$out/player.out" 2>&1 &
player=$!
ready || exit 1
left=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ { print $4 }')
top=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/ { print $4 }')

# Paused a second in, so the picture on the screen and in the files is the same.
sleep 1
xdotool key space
wait_count "KeyDown=0x20" 1 10
sleep 1
xdotool key F12 F12
wait_count "Screenshot saved:" 2 60
import -window root "$out/screen.png"
xdotool key shift+F12
wait_count "Screenshot saved:" 3 60

[ -d "$pictures" ] || fail "the pictures folder was not made"
mapfile -t shots < <(grep -a "Screenshot saved:" "$log" | sed 's/^Screenshot saved: //')
[ "${#shots[@]}" -ge 3 ] || { fail "saved: ${shots[*]}"; exit 1; }
name=${shots[0]##*/}
[[ $name =~ ^clip_one_two-00\.00\.0[0-9]\.[0-9]{3}\.png$ ]] || fail "first name: $name"
[ "${shots[1]}" = "${shots[0]%.png}-1.png" ] || fail "second name: ${shots[1]} after ${shots[0]}"
for shot in "${shots[@]}"; do [ -s "$shot" ] || fail "no file $shot"; done

size() { identify -format '%wx%h' "$1" 2>/dev/null; }
[ "$(size "${shots[0]}")" = 640x480 ] || fail "F12 picture is $(size "${shots[0]}")"
[ "$(size "${shots[2]}")" = 320x240 ] || fail "Shift+F12 picture is $(size "${shots[2]}")"
cmp -s "${shots[0]}" "${shots[1]}" || fail "two pictures of one paused frame differ"

# The caption band (rows 340 to 463; the status bar's line below holds the notice on the screen): the
# file's rows must be the screen's, and the caption must be in them.
convert "${shots[0]}" -crop 640x124+0+340 +repage "$out/band-file.png"
convert "$out/screen.png" -crop "640x124+$left+$((top + 340))" +repage "$out/band-screen.png"
differing=$(compare -metric AE "$out/band-file.png" "$out/band-screen.png" null: 2>&1)
[ "$differing" = 0 ] || fail "$differing pixels of the caption band differ from the screen"
white=$(convert "$out/band-file.png" -fill black +opaque white -colorspace gray -format '%[fx:int(mean*w*h+0.5)]' info:)
[ "$white" -gt 200 ] || fail "no caption in the file's band ($white white pixels)"

xdotool key Escape
finish 0 30

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); log and pictures in $out"
  exit 1
fi
echo "screenshot checks passed"
