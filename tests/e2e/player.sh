#!/usr/bin/env bash
# The real program under Xvfb, driven with xdotool and checked through DEBUG.LOG, the saved settings
# and screenshots: a list played through, a list with missing movies, pause, seeks and steps while
# paused, list steps, style keys, display rebuilds, full screen, quitting, a missing file, paths with
# blanks and wildcards, SIGTERM, no display.
# Usage: player.sh SUBLUMEN OUTDIR   (logs and screenshots stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdotool import compare convert ffmpeg iconv xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
mkdir -p "$m/my movies"
. "$(dirname "$0")/player_session.sh"
note() { echo "-- $*"; }

# Fixtures: short movies with Korean SAMI captions beside them.
movie() {  # path seconds
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=$2" \
    -c:v mpeg4 -q:v 5 -g 25 -c:a pcm_s16le -shortest "$1" || { echo "skipped: ffmpeg cannot make movies"; exit 77; }
}
captions() {  # path text
  printf '<SAMI><BODY>\n<SYNC Start=100><P Class=KRCC>%s\n<SYNC Start=60000><P Class=KRCC>&nbsp;\n</BODY></SAMI>\n' "$2" >"$1"
}
movie "$m/short1.avi" 3
cp "$m/short1.avi" "$m/short2.avi"
captions "$m/short1.smi" "첫 번째 짧은 동영상"
captions "$m/short2.smi" "두 번째 짧은 동영상" && iconv -f UTF-8 -t CP949 "$m/short2.smi" >"$m/short2.cp949" && mv "$m/short2.cp949" "$m/short2.smi"
printf '@one\nmovie=short1.avi\ncaption=short1.smi\n@two\nmovie=short2.avi\ncaption=short2.smi\n' >"$m/two.slm"
# Long enough to outlast every step of the keys case on a loaded machine.
movie "$m/long1.avi" 90
for i in 2 3; do cp "$m/long1.avi" "$m/long$i.avi"; done
for i in 1 2 3; do captions "$m/long$i.smi" "긴 동영상 $i번"; done
printf '@L1\nmovie=long1.avi\n@L2\nmovie=long2.avi\n@L3\nmovie=long3.avi\n' >"$m/three.slm"
cp "$m/short1.avi" "$m/my movies/one movie.avi"
captions "$m/my movies/one movie.smi" "빈칸 있는 경로"

# Window mode, no caption question: the settings a user would have after a first run.
fresh_settings() { printf 'fullscreen dword 0\nasksmi dword 0\n' >"$settings"; }

start() {  # name args...
  run=$1; shift
  "$out/bin/sublumen" "$@" >"$out/$run.stderr" 2>&1 &
  player=$!
}
lines() { grep -cF -- "$1" "$log"; }
# Waits until the log holds more lines with text than before (a count taken earlier).
wait_more() {  # text count-before [seconds]
  for _ in $(seq $(( ${3:-30} * 10 ))); do [ "$(lines "$1")" -gt "$2" ] && return 0; sleep 0.1; done
  fail "$run: no new \"$1\" after ${3:-30} s"
  return 1
}
key() { xdotool key --delay 60 "$@"; }
shot() { import -window root "$out/$run-$1.png"; }
# Number of pixels that differ between two screenshots.
differ() { compare -metric AE "$out/$run-$1.png" "$out/$run-$2.png" null: 2>&1 | cut -d' ' -f1; }
# Mean brightness (0..1) of a rectangle of a screenshot.
brightness() {  # shot geometry
  convert "$out/$run-$1.png" -crop "$2" +repage -colorspace gray -format '%[fx:mean]' info:
}
bright() { awk -v v="$1" 'BEGIN { exit !(v > 0.05) }'; }
# Whether the picture moves: two screenshots a moment apart differ. Retried, as a loaded machine may
# show no new frame for a while.
moving() {  # name
  for _ in $(seq 10); do
    shot "$1-a"; sleep 0.6; shot "$1-b"
    [ "$(differ "$1-a" "$1-b")" -gt 0 ] && return 0
  done
  return 1
}
# Waits until a rectangle of the screen is bright (or, with "dark", is not), the picture drawn after a
# display rebuild being a matter of time.
eventually() {  # bright|dark name geometry
  for _ in $(seq 30); do
    shot "$2"
    if bright "$(brightness "$2" "$3")"; then [ "$1" = bright ] && return 0; else [ "$1" = dark ] && return 0; fi
    sleep 0.5
  done
  return 1
}

# 1. A list of two movies plays through; SIGTERM then closes the program the normal way.
note "play-through and SIGTERM"
fresh_settings
start playthrough "$m/two.slm"
ready
wait_for "Play[one/$m/short1.avi/$m/short1.smi/0]"
wait_for "Play[two/$m/short2.avi/$m/short2.smi/0]"
wait_for $'No more Movie File to Play.\n'
key f
wait_for "KeyDown=0x46"
kill -TERM "$player"
finish 0
grep -qF ">>> deinitAll()" "$out/playthrough.log" || fail "playthrough: no deinitAll after SIGTERM"
grep -qx "fontsize dword 25" "$settings" || fail "playthrough: F before SIGTERM not saved: $(cat "$settings")"

# 1b. A list with movies that cannot be opened goes on past them; the end comes after the last one.
note "missing movies in a list"
fresh_settings
printf '@one\nmovie=short1.avi\n@gone\nmovie=gone.avi\n@two\nmovie=short2.avi\n@lost\nmovie=lost.avi\n' >"$m/gaps.slm"
start gaps "$m/gaps.slm"
ready
wait_for "Play[one/"
wait_for "Play[gone/$m/gone.avi/"
wait_for $'Video Load Fail : error=6\nPlay[two/'
wait_for $'Video Load Fail : error=6\nNo more Movie File to Play.\n'
has "Play[lost/" || fail "gaps: the missing last movie was not tried"
key Escape
finish 0

# 2. Keys on a running list of three movies.
note "keys"
fresh_settings
start keys "$m/three.slm"
ready
wait_for "Play[L1/"
moving playing || fail "keys: the picture does not move while playing"
bright "$(brightness playing-a 640x480+320+272)" || fail "keys: the window shows no picture"

key space
wait_for "KeyDown=0x20"
sleep 0.5; shot paused1; sleep 0.8; shot paused2
[ "$(differ paused1 paused2)" = 0 ] || fail "keys: the picture moves while paused"
# A seek while paused shows the picture at the new place, which then stands still.
seeks=$(lines "Seek=")
key Right; wait_more "Seek=" "$seeks"
shown=
for _ in $(seq 20); do
  shot paused3; sleep 0.5; shot paused4
  if [ "$(differ paused2 paused4)" -gt 0 ] && [ "$(differ paused3 paused4)" = 0 ]; then shown=1; break; fi
done
[ -n "$shown" ] || fail "keys: a seek while paused does not show a still picture at the new place"
key space
moving resumed || fail "keys: the picture does not move after resuming"

seeks=$(lines "Seek=")
key Right; wait_more "Seek=" "$seeks"
key Left; wait_more "Seek=" "$((seeks + 1))"
key Home; wait_for $'KeyDown=0x24\nSeek=0\n'
key End; wait_for $'KeyDown=0x23\nSeek='
has $'KeyDown=0x27\nSeek=' || fail "keys: Right did not seek"
has $'KeyDown=0x25\nSeek=' || fail "keys: Left did not seek"
# The end of L1 starts L2.
wait_for "Play[L2/"

plays=$(lines "Play[")
# Paused in a window, a period starts the next movie at once, and it plays with its pictures.
spaces=$(lines "KeyDown=0x20")
key space; wait_more "KeyDown=0x20" "$spaces"
key period; wait_more "Play[" "$plays"
wait_for "Play[L3/"
moving stepped || fail "keys: the movie started while paused shows no moving picture"
key comma; wait_more "Play[" "$((plays + 1))"
[ "$(grep -F "Play[" "$log" | tail -1 | cut -c1-8)" = "Play[L2/" ] || fail "keys: comma did not go back to L2"

# Caption style keys, saved at exit: fontsize 24-1+1+1, face 1, style 130 → A 2 → O 3 → R 7 → S 5.
key d f f g a o r s
wait_for "KeyDown=0x53"

# Digit 2 and the grave accent rebuild the display; playback goes on at the same place.
reinits=$(lines "ReInit success.")
key 2; wait_more "ReInit success." "$reinits"
wait_for ">>> ReInit... 640x480x16" 1
key grave; wait_more "ReInit success." "$((reinits + 1))"
wait_for ">>> ReInit... 640x480x32" 1
moving rebuilt || fail "keys: playback stopped after the display was rebuilt"
has $'>>> ReInit... 3\nPlay[L2/' || fail "keys: the movie was not reopened by ReInit"

# Alt+Enter: full screen (the picture fills the screen's left edge), and back.
key alt+Return; wait_more "ReInit success." "$((reinits + 2))"
has $'>>> initDirectDrawMode() 1\n>>> initDirectDrawMode() 2\n' || fail "keys: no full-screen mode set"
eventually bright full 100x200+10+400 || fail "keys: full screen does not show the picture at the screen's edge"
key alt+Return; wait_more "ReInit success." "$((reinits + 3))"
eventually dark window 100x200+10+400 || fail "keys: back in a window, the picture still covers the screen's edge"

key Escape
finish 0
for line in "fontsize dword 25" "fontface dword 1" "captionstyle dword 5" "bpp dword 32" "fullscreen dword 0"; do
  grep -qx "$line" "$settings" || fail "keys: settings lack \"$line\": $(tr '\n' ' ' <"$settings")"
done

# 3. A missing file: the access check fails, the box is answered, exit code -1.
note "missing file"
start missing "$m/no such movie.avi"
finish 255
grep -qF "Can't access THE File:$m/no such movie.avi" "$out/missing.log" || fail "missing: no access line"
grep -qF 'MessageBox "Can'"'"'t access THE File" answered OK' "$out/missing.log" || fail "missing: box not answered"

# 4. Paths with blanks: quoted as one argument, and split by the shell into two.
note "blanks and wildcards"
for form in quoted split wildcard; do
  fresh_settings
  case $form in
    quoted) start "$form" "\"$m/my movies/one movie.avi\"" ;;
    split) start "$form" "$m/my" "movies/one movie.avi" ;;
    wildcard) start "$form" "$m/my movies/one*.avi" ;;
  esac
  ready
  wait_for "Play[/$m/my movies/one movie.avi/$m/my movies/one movie.smi/0]"
  wait_for "xmmstream="
  grep -qF "error=0" "$log" || fail "$form: the movie did not open"
  key Escape
  finish 0
done
grep -qF "Command Line=$m/my movies/one*.avi" "$out/wildcard.log" || fail "wildcard: tail not logged as given"

# 5. No display at all: said plainly, and the program ends.
note "no display"
run=nodisplay
env -u DISPLAY -u SDL_VIDEODRIVER "$out/bin/sublumen" "$m/two.slm" >"$out/nodisplay.stderr" 2>&1
code=$?
[ "$code" = 255 ] || fail "nodisplay: exit code $code"
grep -qF "no display" "$out/nodisplay.stderr" || fail "nodisplay: nothing said on standard error"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); logs and screenshots in $out"
  exit 1
fi
echo "all end-to-end checks passed"
