#!/usr/bin/env bash
# The real program under Xvfb started with relative paths, as a user types them in a shell: each start
# runs twice, the second time after the first has saved lastmovie, whose folder the settings load
# makes the current directory. A folder of that name beside lastmovie holds decoys that must never
# be played. Checked through DEBUG.LOG and the saved settings.
# Usage: relative_paths.sh SUBLUMEN OUTDIR   (logs stay in OUTDIR)
set -uo pipefail
program=$1
out=$2
for tool in Xvfb xdpyinfo ffmpeg; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
. "$(dirname "$0")/player_home.sh"
xvfb_screen=1024x768x24
. "$(dirname "$0")/player_session.sh"
note() { echo "-- $*"; }

# Fixtures in a folder whose name has Korean characters and a blank.
m="$out/영화 모음"
mkdir -p "$m/sub/sub"
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=160x120:rate=10:duration=5" \
  -c:v mpeg4 -q:v 5 "$m/sub/movie.avi" || { echo "skipped: ffmpeg cannot make movies"; exit 77; }
cp "$m/sub/movie.avi" "$m/sub/captioned.avi"
printf '<SAMI><BODY>\n<SYNC Start=100><P Class=KRCC>자막\n</BODY></SAMI>\n' >"$m/sub/captioned.smi"
printf '<SAMI><BODY>\n<SYNC Start=100><P Class=KRCC>고른 자막\n</BODY></SAMI>\n' >"$m/sub/chosen.smi"
printf 'movie.avi\n:caption=chosen.smi\n' >"$m/sub/list.ml"
# The decoys: what the relative paths would name from the folder of lastmovie.
for name in movie.avi captioned.avi captioned.smi list.ml; do cp "$m/sub/$name" "$m/sub/sub/$name"; done
# The caption question is cancelled, or answered with a name relative to the folder it opens in.
printf '#!/bin/sh\nexit 1\n' >"$out/bin/cancel"
printf '#!/bin/sh\necho chosen.smi\n' >"$out/bin/answer"
chmod +x "$out/bin/cancel" "$out/bin/answer"

start() {  # name chooser args...  (in the media folder, window mode, caption question on)
  run=$1
  export SUBLUMEN_FILE_CHOOSER="$out/bin/$2"
  shift 2
  # The program deletes the log of the run before; gone already, it cannot be mistaken for this run's.
  rm -f "$log"
  (cd "$m" && exec "$out/bin/sublumen" "$@") >"$out/$run.stderr" 2>&1 &
  player=$!
}
wait_for() {  # text: waits up to 60 s for the log to hold it, or for the program to end
  for _ in $(seq 600); do
    has "$1" && return 0
    kill -0 "$player" 2>/dev/null || break
    sleep 0.1
  done
  has "$1" && return 0
  fail "$run: no \"$1\" in the log"
  return 1
}
# One start: the movie opens from the completed path with the caption expected, and lastmovie is saved
# absolute.
check() {  # name chooser expected-play-line expected-lastmovie args...
  local name=$1 chooser=$2 play=$3 last=$4
  shift 4
  start "$name" "$chooser" "$@"
  wait_for "Init Ok. Start" && wait_for "$play" && wait_for "xmmstream=" &&
    { has "Video Load Fail" && fail "$name: the movie did not open"; }
  has "sub/sub/" && fail "$name: a decoy was used"
  # SIGTERM closes the program the normal way, as Esc does.
  kill -TERM "$player" 2>/dev/null
  finish
  grep -qxF "lastmovie sz ${last// /%20}" "$settings" || fail "$name: lastmovie is not $last"
}

printf 'fullscreen dword 0\nasksmi dword 1\n' >"$settings"
for round in 1 2; do
  note "round $round"
  check "cancelled$round" cancel "Play[/$m/sub/movie.avi//0]" "$m/sub/movie.avi" sub/movie.avi
  has "Asking Caption." || fail "cancelled$round: the caption question was not asked"
  check "answered$round" answer "Play[/$m/sub/movie.avi/$m/sub/chosen.smi/0]" "$m/sub/movie.avi" sub/movie.avi
  check "beside$round" cancel "Play[/$m/sub/captioned.avi/$m/sub/captioned.smi/0]" "$m/sub/captioned.avi" \
    ./sub/captioned.avi
  has "Asking Caption." && fail "beside$round: asked although the caption lies beside the movie"
  check "list$round" cancel "Play[/$m/sub/movie.avi/$m/sub/chosen.smi/0]" "$m/sub/list.ml" sub/list.ml
  has "MovieItem : /$m/sub/movie.avi/$m/sub/chosen.smi/0" || fail "list$round: the list item is not complete"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); logs in $out"
  exit 1
fi
echo "all relative path checks passed"
