#!/usr/bin/env bash
# The player under Xvfb on broken input: a list of movies that are truncated, empty, random bytes, text
# and of an absurd frame size, then captions of random bytes, UTF-16 text and 50 MB of "<" beside good
# movies, then one good movie. Every item is logged as played or failed, the period key and the end of a
# movie move on through the list, F1 still answers at the end, and Esc quits with status 0 and the
# settings saved.
# Usage: broken_input.sh PLAYER MAKE_MOVIE OUTDIR   (the scratch files stay in OUTDIR but the big caption)
set -euo pipefail
program=$1
make_movie=$2
out=$3
for tool in Xvfb xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"

# --- the inputs ---
"$make_movie" "$m/good.avi" avi 3 160 120 10 >/dev/null
"$make_movie" "$m/long.avi" avi 6 160 120 10 >/dev/null
head -c $(($(stat -c %s "$m/long.avi") / 3)) "$m/long.avi" > "$m/truncated.avi"
: > "$m/empty.avi"
head -c 65536 /dev/urandom > "$m/random.avi"
printf 'This is not a movie.\nJust some text that happens to be named like one.\n' > "$m/text.avi"
# A good AVI whose headers claim a picture of 60000x60000: the main header's width and height, the
# stream header's frame rectangle and the picture format's width and height.
cp "$m/good.avi" "$m/huge.avi"
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
patch() { dd of="$m/huge.avi" bs=1 seek="$1" conv=notrunc status=none; }  # patch OFFSET < bytes
offset() { grep -boa "$1" "$m/huge.avi" | head -n1 | cut -d: -f1; }
avih=$(offset avih); strh=$(offset strh); strf=$(offset strf)
{ le32 60000; le32 60000; } | patch $((avih + 8 + 32))
{ le16 0; le16 0; le16 60000; le16 60000; } | patch $((strh + 8 + 48))
{ le32 60000; le32 60000; } | patch $((strf + 8 + 4))
# Captions.
head -c 32768 /dev/urandom > "$m/random.smi"
printf '<SAMI><BODY><SYNC Start=500><P Class=KRCC>Hello in UTF-16<SYNC Start=2000><P>&nbsp;</BODY></SAMI>\r\n' \
  | iconv -f UTF-8 -t UTF-16 > "$m/utf16.smi"
printf '00:00:00.50,00:00:02.00\r\nHello in UTF-16\r\n' | iconv -f UTF-8 -t UTF-16 > "$m/utf16.sub"
head -c 16384 /dev/urandom > "$m/random.sub"
head -c $((50 << 20)) /dev/zero | tr '\0' '<' > "$m/angles.smi"
for i in 1 2 3 4 5; do cp "$m/good.avi" "$m/captioned$i.avi"; done

items=(
  "truncated.avi|"
  "empty.avi|"
  "random.avi|"
  "text.avi|"
  "huge.avi|"
  "captioned1.avi|random.smi"
  "captioned2.avi|utf16.smi"
  "captioned3.avi|angles.smi"
  "captioned4.avi|utf16.sub"
  "captioned5.avi|random.sub"
  "good.avi|"
)
{
  for i in "${!items[@]}"; do
    IFS='|' read -r movie caption <<<"${items[$i]}"
    printf '@item%d\nmovie=%s\n' "$i" "$movie"
    [ -z "$caption" ] || printf 'caption=%s\n' "$caption"
  done
} > "$m/broken.slm"
last=$((${#items[@]} - 1))

# Window mode at 640x480, help off, so that F1 shows up in the saved settings.
printf 'fullscreen dword 0\nhelp dword 0\nscreenx dword 640\nscreeny dword 480\nbpp dword 32\n' \
  > "$out/config/sublumen/settings"

# --- the display ---
. "$(dirname "$0")/xvfb_server.sh"
pid=
cleanup() {
  [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
  stop_xvfb
  rm -f "$m/angles.smi"
  wait 2>/dev/null || true
}
trap cleanup EXIT
start_xvfb "$out/xvfb.log" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
has() { grep -qaF -- "$1" "$log" 2>/dev/null; }
# Waits up to SECONDS for the log to hold TEXT.
wait_for() {  # wait_for SECONDS TEXT
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    has "$2" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Keys go to the window under the pointer: there is no window manager to give the focus.
key() { xdotool mousemove 640 512 key "$1"; }
keydowns() { grep -ac "KeyDown=0x$1" "$log" || true; }

"$out/bin/sublumen" "$m/broken.slm" >"$out/player.out" 2>&1 &
pid=$!
wait_for 60 "Play[item0/" || fail "the first item never started"

# Through the list: the period key moves on from an item that fails or plays; a movie that plays to its
# end moves on by itself.
for ((i = 1; i <= last; i++)); do
  for _ in 1 2 3; do
    has "Play[item$i/" && break
    before=$(keydowns BE)
    key period
    wait_for 20 "Play[item$i/" && break
    [ "$(keydowns BE)" -gt "$before" ] || fail "item $i: the period key was not seen"
  done
  has "Play[item$i/" || { fail "item $i never started"; break; }
done
kill -0 "$pid" 2>/dev/null || fail "the player ended early"

# What became of each item: the broken movies are refused (or play what they hold); the captioned ones
# play with their caption loaded, whatever it holds.
item_result() {  # the log lines from item $1's Play line up to the next item's
  awk -v start="Play[item$1/" -v next_="Play[item$(($1 + 1))/" \
    'index($0, start) == 1 { on = 1 } on && index($0, next_) == 1 { exit } on { print }' "$log"
}
for i in 1 2 3; do
  item_result $i | grep -qE "Video Load Fail|Video Empty" || fail "item $i (${items[$i]}) was not refused"
done
for i in 5 6 7 8 9; do
  item_result $i | grep -qF "Load SAMI Caption :" || fail "item $i (${items[$i]}): no caption load logged"
  item_result $i | grep -qE "Video Load Fail|Video Empty" && fail "item $i (${items[$i]}): the good movie failed"
done
item_result $last | grep -qE "Video Load Fail|Video Empty" && fail "the last, good movie failed"

# Still answering keys: F1 toggles the help, Esc quits.
before=$(keydowns 70)
key F1
for _ in $(seq 300); do [ "$(keydowns 70)" -gt "$before" ] && break; sleep 0.1; done
[ "$(keydowns 70)" -gt "$before" ] || fail "F1 was not seen at the end"
key Escape
status=
for _ in $(seq 600); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    pid=
    break
  fi
  sleep 0.1
done
[ -n "$status" ] || fail "the player did not quit on Esc"
[ "${status:-1}" = 0 ] || fail "the player quit with status $status"
has ">>> deinitAll()" || fail "no orderly shutdown in the log"
grep -qx 'help dword 1' "$out/config/sublumen/settings" || fail "the settings were not saved with the help on"
grep -qx 'fullscreen dword 0' "$out/config/sublumen/settings" || fail "the saved settings lost fullscreen 0"

grep -aE "^Play\[|Video Load Fail|Video Empty|Load SAMI|KeyDown=0x(70|1B)|No more" "$log" || true
if [ "$failures" -ne 0 ]; then
  echo "--- player output"; cat "$out/player.out"
  echo "--- log tail"; tail -n 60 "$log"
  exit 1
fi
echo "broken input checks passed"
