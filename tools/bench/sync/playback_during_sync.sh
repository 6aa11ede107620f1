#!/usr/bin/env bash
# Pictures skipped while F5 syncs the captions of a 1080p movie: the player plays a 1080p H.264 movie of
# synthesised speech full screen under Xvfb (1920x1080) with its frame trace on; the same stretch of the
# movie is played once without the sync (the reference) and once with F5 pressed at its start, and the
# skipped pictures of each are counted from the trace (S events) over the time the sync ran.
# Usage: [LENGTH=240] playback_during_sync.sh PLAYER SET_DIR OUTDIR   (SET_DIR from `sync_bench make`)
# LENGTH=7200 makes the movie as long as the set's 2-hour one: the sync then reads 5 GB while it plays.
set -uo pipefail
program=$1
set_dir=$2
out=$3
for tool in Xvfb xdotool ffmpeg; do
  command -v "$tool" >/dev/null || { echo "playback_during_sync: $tool missing"; exit 1; }
done
rm -rf "$out"
mkdir -p "$out/config/sublumen" "$out/state" "$out/bin"
cp "$program" "$out/bin/sublumen"
log=$out/bin/DEBUG.LOG
movie=$out/movie-1080p.mkv
# 1080p pictures (the set's clip, looped) and the speech of the set's 2-hour movie.
ffmpeg -loglevel error -y -stream_loop -1 -i "$set_dir/clip-1080p.mkv" -i "$set_dir/long-2h.mkv" -map 0:v -map 1:a \
  -c copy -t "${LENGTH:-240}" "$movie" || exit 1
cp "$set_dir/long-2h.late.srt" "$out/movie-1080p.srt"
printf 'fullscreen dword 1\nasksmi dword 0\nhelp dword 0\nscreenx dword 1920\nscreeny dword 1080\nbpp dword 32\nresume dword 0\n' \
  >"$out/config/sublumen/settings"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null' EXIT
sleep 2

# Plays from the start; with F5 when sync is "yes". Prints the trace's name and the span (microseconds,
# the trace's clock) over which skipped pictures count.
play() {
  local sync=$1 trace=$out/trace-$1.txt
  rm -f "$log" "$trace"
  DISPLAY=$display XDG_CONFIG_HOME=$out/config XDG_STATE_HOME=$out/state SDL_AUDIODRIVER=dummy \
    SUBLUMEN_FRAME_TRACE=$trace "$out/bin/sublumen" "$movie" >"$out/player-$sync.out" 2>&1 &
  local player=$!
  for _ in $(seq 300); do grep -qa "Init Ok. Start" "$log" 2>/dev/null && break; sleep 0.1; done
  sleep 5
  local window
  window=$(DISPLAY=$display xdotool search --onlyvisible --name '^Sublumen$' | head -1)
  DISPLAY=$display xdotool windowfocus "$window" 2>/dev/null
  local from
  from=$(tail -1 "$trace" | cut -d' ' -f2)
  if [ "$sync" = yes ]; then
    DISPLAY=$display xdotool key F5
    for _ in $(seq 1200); do grep -qa "Caption job:" "$log" && break; sleep 0.1; done
    grep -a "Caption job:\|Caption sync:" "$log" >&2
  else
    sleep "${span_seconds:-20}"
  fi
  local to
  to=$(tail -1 "$trace" | cut -d' ' -f2)
  DISPLAY=$display xdotool key Escape
  wait "$player"
  echo "$trace $from $to"
}

skipped() {  # trace from to
  awk -v from="$2" -v to="$3" '$2 >= from && $2 <= to { if ($1 == "S") s++; if ($1 == "D") d++ }
    END { printf "%d delivered, %d skipped", d, s }' "$1"
}

read -r trace from to < <(play yes)
span_seconds=$(((to - from + 999999) / 1000000))
echo "with F5: $(skipped "$trace" "$from" "$to") in $span_seconds s while the sync ran"
read -r trace from to < <(play no)
echo "without: $(skipped "$trace" "$from" "$to") over the same $span_seconds s of the movie"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
