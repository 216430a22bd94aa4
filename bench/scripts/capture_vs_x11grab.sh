#!/usr/bin/env bash
# Screen capture against ffmpeg's x11grab on the same private Xvfb in the same run:
# 1920x1080 at 30 fps for 10 s each, on a still desktop and again with a terminal scrolling
# text. Prints the frames Mirelo delivered (target: at least 99 % of those due from its first
# frame to the stop: about 300) and the ratio of the CPU seconds of the two recording processes
# (target: Mirelo within 2x of ffmpeg, which hands its frames to a null sink).
# Needs MIRELO_BUILD (a Release build directory).
set -euo pipefail
build="${MIRELO_BUILD:?set MIRELO_BUILD to a build directory}"
tool="$build/bench/capture_record"
[ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
seconds=10
fps=30
width=1920
height=1080

work="$(mktemp -d)"
Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=":$(tr -d '[:space:]' <"$work/display")"
[ "$display" != ":" ] || { echo "Xvfb did not start" >&2; exit 1; }
# The pointer in view.
DISPLAY="$display" xdotool mousemove 500 400 >/dev/null 2>&1 || true

# CPU seconds (user + system) of one command, its output kept in a file.
cpu_of() {
  local out="$1"; shift
  local TIMEFORMAT='%U %S'
  { time "$@" >"$out" 2>&1; } 2>"$out.time"
  awk 'NF == 2 { cpu = $1 + $2 } END { printf "%.3f", cpu }' "$out.time"
}

# CPU seconds the X server has spent so far (it copies the pixels for both recorders).
server_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$xvfb/stat"
}

# Records with both and prints the figures, their names ending in $1.
compare() {
  local suffix="$1"
  local server_before mirelo_cpu server_mirelo mirelo_frames mirelo_requested ffmpeg_cpu server_ffmpeg ffmpeg_frames
  server_before=$(server_cpu)
  mirelo_cpu=$(cpu_of "$work/mirelo.out" "$tool" "$display" "$seconds" "$fps" "$width" "$height")
  server_mirelo=$(awk -v a="$server_before" -v b="$(server_cpu)" 'BEGIN { printf "%.3f", b - a }')
  mirelo_frames=$(awk '/^delivered:/ { print $2 }' "$work/mirelo.out")
  mirelo_requested=$(awk '/^requested:/ { print $2 }' "$work/mirelo.out")
  server_before=$(server_cpu)
  ffmpeg_cpu=$(cpu_of "$work/ffmpeg.out" ffmpeg -hide_banner -nostdin -loglevel info \
    -f x11grab -draw_mouse 1 -framerate "$fps" -video_size "${width}x${height}" -i "$display+0,0" \
    -t "$seconds" -fps_mode passthrough -f null -)
  server_ffmpeg=$(awk -v a="$server_before" -v b="$(server_cpu)" 'BEGIN { printf "%.3f", b - a }')
  ffmpeg_frames=$(grep -o 'frame= *[0-9]*' "$work/ffmpeg.out" | tail -1 | tr -dc '0-9')

  echo "== $suffix" >&2
  cat "$work/mirelo.out" >&2
  echo "ffmpeg frames: ${ffmpeg_frames:-?}, cpu ${ffmpeg_cpu} s; mirelo cpu ${mirelo_cpu} s" >&2
  # The X server copies the pixels for both; the sums give the whole cost of a recording.
  echo "X server cpu while recording: mirelo ${server_mirelo} s, ffmpeg ${server_ffmpeg} s;" \
    "recorder + server: mirelo $(awk -v a="$mirelo_cpu" -v b="$server_mirelo" 'BEGIN { print a + b }') s," \
    "ffmpeg $(awk -v a="$ffmpeg_cpu" -v b="$server_ffmpeg" 'BEGIN { print a + b }') s" >&2

  # Delivered against due over the recording's own span, first frame to stop.
  awk -v f="${mirelo_frames:-0}" -v e="${mirelo_requested:-0}" -v n="capture_frames_delivered_1080p30$suffix" 'BEGIN {
    share = e > 0 ? 100 * f / e : 0
    printf "%s: %.1f %% (target: >= 99) %s\n", n, share, (share >= 99) ? "ok" : "MISS" }'
  awk -v m="$mirelo_cpu" -v f="$ffmpeg_cpu" -v n="capture_cpu_vs_x11grab_1080p30$suffix" 'BEGIN {
    ratio = f > 0 ? m / f : 0
    printf "%s: %.2f x (target: <= 2) %s\n", n, ratio, (ratio > 0 && ratio <= 2) ? "ok" : "MISS" }'
  echo "capture_cpu_seconds_1080p30$suffix: $mirelo_cpu s (target: <= $(awk -v f="$ffmpeg_cpu" 'BEGIN { printf "%.3f", 2 * f }')) $(awk -v m="$mirelo_cpu" -v f="$ffmpeg_cpu" 'BEGIN { print (m <= 2 * f) ? "ok" : "MISS" }')"
}

# A still desktop with the pointer on it.
compare ""

# A terminal scrolling text over a fifth of the screen all the time.
if command -v xterm >/dev/null; then
  DISPLAY="$display" xterm -geometry 100x40+200+150 -e bash -c \
    'while :; do ls -l /usr/lib/x86_64-linux-gnu | head -60; sleep 0.02; done' >/dev/null 2>&1 &
  term=$!
  sleep 1
  compare "_scrolling"
  kill "$term" 2>/dev/null || true
fi
