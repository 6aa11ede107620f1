#!/usr/bin/env bash
# The player as the desktop meets it: installed into a prefix and run from there under Xvfb (resources
# found through the program file, the log in the state folder when the program's folder is not
# writable, no session bus), the desktop entry and mime package, --help and --version, a caption file
# as the start path, and control through its object on a private session bus (MPRIS).
# Usage: desktop.sh BUILD_DIR OUTDIR   (logs stay in OUTDIR)
set -uo pipefail
build=$1
out=$2
for tool in Xvfb xdpyinfo xdotool xprop xwininfo ffmpeg desktop-file-validate update-mime-database dbus-run-session busctl setpriv \
    appstreamcli; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
rm -rf "$out"
mkdir -p "$out"
# The installed tree and the media live under /tmp, which every user may reach: the program runs as an
# unprivileged user there, for whom the installed program's folder is truly not writable.
work=$(mktemp -d /tmp/sublumen-desktop.XXXXXX)
chmod 755 "$work"
prefix=$work/prefix
m=$work/media
home=$work/home
mkdir -p "$m" "$home"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
note() { echo "-- $*"; }

. "$(dirname "$0")/xvfb_server.sh"
player=
wm=
cleanup() {
  [ -n "$player" ] && kill -KILL "$player" 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  stop_xvfb
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# 1. Install.
note "install"
cmake --install "$build" --prefix "$prefix" >"$out/install.log" 2>&1 || { cat "$out/install.log"; fail "cmake --install failed"; exit 1; }
metainfo=share/metainfo/invalid.sublumen.Sublumen.metainfo.xml
for f in bin/sublumen share/sublumen/fonts.conf share/applications/sublumen.desktop \
    share/icons/hicolor/scalable/apps/sublumen.svg share/mime/packages/sublumen.xml $metainfo \
    share/man/man1/sublumen.1.gz share/doc/sublumen/copyright share/doc/sublumen/changelog.gz; do
  [ -e "$prefix/$f" ] || fail "install: no $f"
done
for size in 48 256; do
  # The pixel icons exist where the build could draw them (rsvg-convert).
  if [ -e "$build/resources/icons/${size}x${size}/sublumen.png" ]; then
    [ -e "$prefix/share/icons/hicolor/${size}x${size}/apps/sublumen.png" ] || fail "install: no ${size} px icon"
  fi
done
desktop-file-validate "$prefix/share/applications/sublumen.desktop" || fail "desktop-file-validate"
grep -q '^Exec=sublumen %f$' "$prefix/share/applications/sublumen.desktop" || fail "desktop entry: Exec"
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
grep -q 'application/x-sublumen-list:\*\.slm' "$prefix/share/mime/globs2" 2>/dev/null || fail "mime: *.slm is not a list"
# The software centre's entry: valid, and offering the player for exactly the types the desktop entry
# opens.
appstreamcli validate --no-net "$prefix/$metainfo" >"$out/metainfo.log" 2>&1 || fail "appstreamcli validate: $(cat "$out/metainfo.log")"
desktop_types=$(sed -n 's/^MimeType=//p' "$prefix/share/applications/sublumen.desktop" | tr ';' '\n' | sed '/^$/d' | sort)
provided_types=$(sed -n 's/.*<mediatype>\(.*\)<\/mediatype>.*/\1/p' "$prefix/$metainfo" | sort)
[ -n "$desktop_types" ] && [ "$desktop_types" = "$provided_types" ] \
  || fail "metainfo: the media types provided differ from the desktop entry's: $(diff <(echo "$desktop_types") <(echo "$provided_types") | tr '\n' ' ')"

# 2. --help and --version answer and exit 0; a file of that name is a path like any other.
note "help and version"
program=$prefix/bin/sublumen
version=$("$program" --version) || fail "--version: exit code $?"
[[ $version == "sublumen "[0-9]* ]] || fail "--version printed: $version"
# Read whole: grep -q stops reading at its match, and the rest of the text would end the program on a
# broken pipe.
help=$("$program" --help) || fail "--help: exit code $?"
grep -q '^Usage: sublumen' <<<"$help" || fail "--help: no usage"
"$program" -h | grep 'DEBUG.LOG' >/dev/null || fail "-h: the log's place is not told"
# The manual says what --help says: every key --help names (the first word of each line of its key
# list), both options, and the places of the settings and the log.
manual=$(zcat "$prefix/share/man/man1/sublumen.1.gz" | sed 's/\\(ga/`/g; s/\\-/-/g; s/\\f[BIRP]//g')
[ -n "$manual" ] || fail "manual: empty"
keys=$(awk '/^Keys:/ { keys = 1; next } keys && !/^ / { keys = 0 } keys { print $1 }' <<<"$help")
[ "$(wc -l <<<"$keys")" -gt 30 ] || fail "--help: only $(wc -l <<<"$keys") keys found: $keys"
while read -r key; do
  awk -v key="$key" '$1 == ".B" && $2 == key { found = 1 } END { exit !found }' <<<"$manual" || fail "manual: no key $key"
done <<<"$keys"
for text in -h --help --version settings DEBUG.LOG XDG_CONFIG_HOME XDG_STATE_HOME; do
  grep -qF -- "$text" <<<"$manual" || fail "manual: no $text"
done

# Fixtures: a movie with a caption file of its own name, a caption without a movie, and a list.
movie() {  # path seconds
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=$2" \
    -c:v mpeg4 -q:v 5 -g 25 -c:a pcm_s16le -shortest "$1" || { echo "skipped: ffmpeg cannot make movies"; exit 77; }
}
captions() {  # path text
  printf '<SAMI><BODY>\n<SYNC Start=100><P Class=KRCC>%s\n<SYNC Start=60000><P Class=KRCC>&nbsp;\n</BODY></SAMI>\n' "$2" >"$1"
}
movie "$m/feature.avi" 3
captions "$m/feature.smi" "다른 자막"
printf '{0}{100}feature sub caption\n' >"$m/feature.sub"
captions "$m/lonely.smi" "동영상 없음"
movie "$m/long1.avi" 30
cp "$m/long1.avi" "$m/long2.avi"
cp "$m/feature.avi" "$m/open me 열기.avi"
printf 'no movie\n' >"$m/broken.avi"
printf '@First Movie\nmovie=long1.avi\n@Second Movie\nmovie=long2.avi\n' >"$m/two.slm"
# A sanitizer build reads its leak suppressions as the user it runs as: give it a copy it can reach.
IFS=: read -ra lsan_options <<<"${LSAN_OPTIONS:-}"
for option in "${lsan_options[@]}"; do
  if [[ $option == suppressions=* ]]; then
    cp "${option#suppressions=}" "$work/lsan.supp" \
      && export LSAN_OPTIONS=${LSAN_OPTIONS/"$option"/"suppressions=$work/lsan.supp"}
  fi
done
chmod -R a+rX "$work"

start_xvfb "$out/xvfb.log" 1024x768x24 || { fail "no X server"; exit 1; }

unset SDL_VIDEODRIVER WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export SDL_AUDIODRIVER=dummy
export SUBLUMEN_MESSAGEBOX_ANSWER=ok
export SUBLUMEN_FILE_CHOOSER=/bin/false
export XDG_CONFIG_HOME=$home/config
export XDG_STATE_HOME=$home/state
# No session bus: XDG_RUNTIME_DIR names a folder without one.
export XDG_RUNTIME_DIR=$home/runtime
export HOME=$home
mkdir -p "$XDG_CONFIG_HOME/sublumen" "$XDG_RUNTIME_DIR"
printf 'fullscreen dword 0\nasksmi dword 0\n' >"$XDG_CONFIG_HOME/sublumen/settings"
state_log=$XDG_STATE_HOME/sublumen/DEBUG.LOG

# The installed program's folder must not be writable for the user who runs it: as root, the run is
# made as nobody (root may write anywhere); otherwise the folder loses its write bits.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  chown -R nobody:nogroup "$home"
else
  chmod a-w "$prefix/bin"
fi
chmod 700 "$XDG_RUNTIME_DIR"
[ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$XDG_RUNTIME_DIR"

has() { local text; text=$(cat "$1" 2>/dev/null; echo .); [[ $text == *"$2"* ]]; }
wait_for() {  # log text [seconds]
  for _ in $(seq $(( ${3:-15} * 10 ))); do has "$1" "$2" && return 0; sleep 0.1; done
  fail "$run: no \"$2\" in $1 after ${3:-15} s"
  tail -n 3 "$out/$run.stderr" 2>/dev/null
  return 1
}
finish() {  # expected-exit-code
  local code=
  for _ in $(seq 200); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$player" 2>/dev/null; then
    fail "$run: still running; killed"
    kill -KILL "$player"
  fi
  wait "$player"; code=$?
  player=
  [ "$code" = "$1" ] || fail "$run: exit code $code, expected $1"
}

# 3. The installed program, started from a caption file: it plays the movie beside it with that very
# caption (not the .smi that a movie's own name would find), its fonts map comes from the installed
# share/sublumen, its log goes to the state folder, and without a session bus it says so once.
note "installed run from a caption file"
run=installed
"${as_user[@]}" "$program" "$m/feature.sub" >"$out/$run.stderr" 2>&1 &
player=$!
wait_for "$state_log" "Init Ok. Start"
wait_for "$state_log" "Play[/$m/feature.avi/$m/feature.sub/0]"
wait_for "$state_log" "resources: $prefix/share/sublumen/fonts.conf"
wait_for "$state_log" "MPRIS: no session bus"
[ "$(grep -c 'MPRIS' "$state_log")" = 1 ] || fail "$run: more than one MPRIS line without a bus"
kill -TERM "$player"
finish 0
cp "$state_log" "$out/$run.log" 2>/dev/null
[ -e "$prefix/bin/DEBUG.LOG" ] && fail "$run: a DEBUG.LOG beside the installed program"

# The settings end as the user left them whatever ends the program: a hang-up (the terminal closed)
# saves like a terminate, a terminate closes a message box that waits, and a lost display saves too.
settings_file=$XDG_CONFIG_HOME/sublumen/settings
fontsize() { sed -n 's/^fontsize dword //p' "$settings_file"; }
press_f() {  # presses F in the player's window and waits for the key in the log
  local window=
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Sublumen$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  xdotool key --window "$window" f
  wait_for "$state_log" "KeyDown=0x46"
}
note "hang-up"
run=hangup
size=$(fontsize)
"${as_user[@]}" "$program" "$m/feature.avi" >"$out/$run.stderr" 2>&1 &
player=$!
wait_for "$state_log" "Init Ok. Start"
press_f
kill -HUP "$player"
finish 0
cp "$state_log" "$out/$run.log" 2>/dev/null
[ "$(fontsize)" = $((size + 1)) ] || fail "$run: fontsize $(fontsize) saved, expected $((size + 1))"

note "terminate during a message box"
run=box
env -u SUBLUMEN_MESSAGEBOX_ANSWER "${as_user[@]}" "$program" "$m/missing.avi" >"$out/$run.stderr" 2>&1 &
player=$!
# The box is shown by a child process; once it is up, the program waits for it. A terminate that comes
# before it closes it as soon as it would be shown, so a slow start costs only time.
for _ in $(seq 300); do pgrep -P "$player" >/dev/null && break; sleep 0.1; done
if ! pgrep -P "$player" >/dev/null; then
  fail "$run: no message box after 30 s; where the program stands:"
  cat "$state_log" 2>/dev/null | tail -n 3
  command -v gdb >/dev/null && timeout 30 gdb -p "$player" -batch -ex 'thread apply all bt 8' 2>/dev/null | grep '^#' | head -n 40
fi
kill -TERM "$player"
finish 255
cp "$state_log" "$out/$run.log" 2>/dev/null
has "$state_log" "MessageBox \"Can't access THE File\" closed: the program is asked to end." || fail "$run: no log line"

# 4. A caption file with no movie of its name: a clear message and the missing-file exit code.
note "caption without a movie"
run=lonely
"${as_user[@]}" "$program" "$m/lonely.smi" >"$out/$run.stderr" 2>&1 &
player=$!
finish 255
cp "$state_log" "$out/$run.log" 2>/dev/null
has "$state_log" "No Movie for the Caption File:$m/lonely.smi" || fail "$run: no log line"

# 5. MPRIS on a private session bus: the status, PlayPause, the title in Metadata, Next, seeks told by
# Seeked, OpenUri (a broken movie reads as no movie, a file:// address plays) and Quit; none of it is
# logged as a key.
note "MPRIS"
run=mpris
[ "$(id -u)" -eq 0 ] || chmod u+w "$prefix/bin"
cat >"$work/mpris.sh" <<'EOF'
#!/usr/bin/env bash
# Runs inside dbus-run-session: the player and busctl share the session bus.
set -u
program=$1 list=$2 log=$3 out=$4 open=$5 broken=$6
# A file:// address's path: every byte but the unreserved ones escaped.
uri() {
  local LC_ALL=C s=$1 out= c i
  for ((i = 0; i < ${#s}; i++)); do
    c=${s:i:1}
    case $c in [a-zA-Z0-9/._~-]) out+=$c ;; *) printf -v c '%%%02X' "'$c"; out+=$c ;; esac
  done
  echo "$out"
}
open_uri=$(uri "$open") broken_uri=$(uri "$broken")
export XDG_RUNTIME_DIR=
"$program" "$list" >"$out/mpris.stderr" 2>&1 &
player=$!
failures=0
fail() { echo "FAIL: mpris: $*"; failures=$((failures + 1)); }
has() { local text; text=$(cat "$log" 2>/dev/null; echo .); [[ $text == *"$1"* ]]; }
wait_log() { for _ in $(seq 150); do has "$1" && return 0; sleep 0.1; done; fail "no \"$1\" in the log"; return 1; }
bus=(busctl --user)
object=(org.mpris.MediaPlayer2.sublumen /org/mpris/MediaPlayer2)
player_if=org.mpris.MediaPlayer2.Player
status() { "${bus[@]}" get-property "${object[@]}" "$player_if" PlaybackStatus 2>/dev/null; }
wait_status() {
  for _ in $(seq 150); do [ "$(status)" = "s \"$1\"" ] && return 0; sleep 0.1; done
  fail "status is $(status), not $1"
}
wait_log "Init Ok. Start"
wait_log "MPRIS: org.mpris.MediaPlayer2.sublumen"
wait_status Playing
"${bus[@]}" get-property "${object[@]}" "$player_if" Metadata | grep -q '"xesam:title" s "First Movie"' \
  || fail "Metadata without the title: $("${bus[@]}" get-property "${object[@]}" "$player_if" Metadata)"
"${bus[@]}" call "${object[@]}" "$player_if" PlayPause || fail "PlayPause call"
wait_status Paused
wait_log "DesktopCommand=PlayPause"
"${bus[@]}" call "${object[@]}" "$player_if" PlayPause || fail "second PlayPause call"
wait_status Playing
"${bus[@]}" call "${object[@]}" "$player_if" Next || fail "Next call"
wait_log "Play[Second Movie/"
for _ in $(seq 100); do
  "${bus[@]}" get-property "${object[@]}" "$player_if" Metadata | grep -q '"Second Movie"' && break
  sleep 0.1
done
"${bus[@]}" get-property "${object[@]}" "$player_if" Metadata | grep -q '"xesam:title" s "Second Movie"' \
  || fail "Metadata after Next: $("${bus[@]}" get-property "${object[@]}" "$player_if" Metadata)"
dbus-monitor --session "type='signal',interface='$player_if',member='Seeked'" >"$out/seeked.txt" 2>&1 &
monitor=$!
sleep 0.5
"${bus[@]}" call "${object[@]}" "$player_if" Seek x 10000000 || fail "Seek call"
wait_log "DesktopCommand=Seek 10000000"
for _ in $(seq 50); do grep -q 'member=Seeked' "$out/seeked.txt" && break; sleep 0.1; done
grep -q 'member=Seeked' "$out/seeked.txt" || fail "no Seeked signal after Seek"
kill "$monitor"
# The playback rate: offered from 0.5 to 2.0 in tenths, a rate outside taken to the nearest, as the keys.
rate() { "${bus[@]}" get-property "${object[@]}" "$player_if" "${1:-Rate}"; }
[ "$(rate MinimumRate) $(rate MaximumRate) $(rate)" = "d 0.5 d 2 d 1" ] || fail "rates: $(rate MinimumRate) $(rate MaximumRate) $(rate)"
for set_get in 1.54:1.5 3:2 1e10:2 0.1:0.5; do
  "${bus[@]}" set-property "${object[@]}" "$player_if" Rate d "${set_get%:*}" || fail "Rate ${set_get%:*} refused"
  [ "$(rate)" = "d ${set_get#*:}" ] || fail "Rate ${set_get%:*} reads $(rate), not ${set_get#*:}"
done
wait_log "Speed=0.5"
"${bus[@]}" set-property "${object[@]}" "$player_if" Rate d -- -1 2>/dev/null && fail "a negative Rate was taken"
# A file that is no movie: nothing to play, pause or seek, and no position.
"${bus[@]}" call "${object[@]}" "$player_if" OpenUri s "file://$broken_uri" 2>/dev/null && fail "OpenUri of a broken movie succeeded"
wait_log "DesktopCommand=OpenUri $broken"
wait_status Stopped
[ "$("${bus[@]}" get-property "${object[@]}" "$player_if" Position)" = "x 0" ] \
  || fail "Position without a movie: $("${bus[@]}" get-property "${object[@]}" "$player_if" Position)"
[ "$("${bus[@]}" get-property "${object[@]}" "$player_if" CanSeek)" = "b false" ] || fail "CanSeek without a movie"
[ "$("${bus[@]}" get-property "${object[@]}" "$player_if" Metadata)" = "a{sv} 0" ] || fail "Metadata without a movie"
"${bus[@]}" call "${object[@]}" "$player_if" OpenUri s "https://example.org/a.avi" 2>/dev/null && fail "OpenUri of a web address succeeded"
"${bus[@]}" call "${object[@]}" "$player_if" OpenUri s "file://$open_uri" || fail "OpenUri call"
wait_log "Play[/$open/"
wait_status Playing
"${bus[@]}" get-property "${object[@]}" "$player_if" Metadata | grep -q '"xesam:title" s "open me ' \
  || fail "Metadata after OpenUri: $("${bus[@]}" get-property "${object[@]}" "$player_if" Metadata)"
has "KeyDown=" && fail "desktop commands logged as keys"
"${bus[@]}" call "${object[@]}" org.mpris.MediaPlayer2 Quit || fail "Quit call"
for _ in $(seq 150); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
kill -0 "$player" 2>/dev/null && { fail "still running after Quit"; kill -KILL "$player"; }
wait "$player"; code=$?
[ "$code" = 0 ] || fail "exit code $code after Quit"
has ">>> deinitAll()" || fail "Quit did not close the normal way"
exit $((failures > 0))
EOF
chmod +x "$work/mpris.sh"
# The program's own folder is writable here, so its log is beside it, as in the build tree.
env -u XDG_RUNTIME_DIR dbus-run-session -- "$work/mpris.sh" "$program" "$m/two.slm" "$prefix/bin/DEBUG.LOG" "$out" \
  "$m/open me 열기.avi" "$m/broken.avi" || fail "MPRIS checks"
cp "$prefix/bin/DEBUG.LOG" "$out/$run.log" 2>/dev/null

# Key 9 in a window: the largest window that fits the desktop's free area (a 40-pixel panel at the top)
# with its frame, placed inside that area, under a window manager when the machine has one.
note "key 9 in a window"
run=desktop-window
# The MPRIS run wrote the settings as the user who runs the tests.
[ "$(id -u)" -eq 0 ] && chown -R nobody:nogroup "$home"
if command -v openbox >/dev/null; then
  openbox >"$out/wm.log" 2>&1 &
  wm=$!
  # The manager announces itself before it publishes its work area; a panel's area set in between would
  # be overwritten by the whole screen.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' \
      && xprop -root _NET_WORKAREA 2>/dev/null | grep -q ' = ' && break
    sleep 0.1
  done
fi
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 40, 1024, 728"
"${as_user[@]}" "$program" "$m/long1.avi" >"$out/$run.stderr" 2>&1 &
player=$!
wait_for "$state_log" "Init Ok. Start"
window=$(xdotool search --name '^Sublumen$' 2>/dev/null | head -1)
xdotool key --window "$window" 9
wait_for "$state_log" "ReInit success."
# The manager frames and places the window at its own pace: the check is repeated until it holds.
placed() {
  local geometry x y width height left right top bottom
  geometry=$(xwininfo -id "$window" 2>/dev/null)
  x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$geometry")
  y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$geometry")
  width=$(sed -n 's/.*Width: *//p' <<<"$geometry")
  height=$(sed -n 's/.*Height: *//p' <<<"$geometry")
  read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ,)
  left=${left:-0} right=${right:-0} top=${top:-0} bottom=${bottom:-0}
  placement="client ${width}x${height} at $x,$y, frame $left,$right,$top,$bottom"
  [ -n "$x" ] && [ "$width" = $((1024 - left - right)) ] && [ "$height" = $((728 - top - bottom)) ] \
    && [ "$((x - left))" -ge 0 ] && [ "$((y - top))" -ge 40 ] && [ "$((y + height + bottom))" -le 768 ]
}
for _ in $(seq 100); do placed && break; sleep 0.1; done
placed || fail "$run: not the largest window inside the 1024x728 free area below the panel: $placement"
kill -TERM "$player"
finish 0
cp "$state_log" "$out/$run.log" 2>/dev/null
[ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
wm=

# Last, as it ends the X server: the display goes away under a running player.
note "lost display"
run=lost-display
size=$(fontsize)
"${as_user[@]}" "$program" "$m/feature.avi" >"$out/$run.stderr" 2>&1 &
player=$!
wait_for "$state_log" "Init Ok. Start"
press_f
stop_xvfb
finish 1
cp "$state_log" "$out/$run.log" 2>/dev/null
has "$state_log" "The X display is gone." || fail "$run: no log line"
[ "$(fontsize)" = $((size + 1)) ] || fail "$run: fontsize $(fontsize) saved, expected $((size + 1))"

echo "$failures failures"
[ "$failures" -eq 0 ]
