#!/usr/bin/env bash
# Long recordings of moving pictures through ScreenRecorder and the X11 backend into the
# recording store: a 1920x1080 animation (a fractal zoom) played full screen at 30 fps on a
# private Xvfb, recorded at 30 fps for 10, 60 and 120 s. Prints peak resident memory (flat
# whatever the length, target <= 1 GiB), frames delivered (target >= 99 %), CPU against ffmpeg's
# x11grab writing the same content to a lossless file (target <= 1.5x), and the store's bytes
# on disk per frame against raw frames (target <= 1/4 for every frame of the animation, <= 1/50
# for a still desktop). How many distinct frames the player shows depends on the machine's load;
# the store's figure for the animation is therefore taken on the decoded clip itself.
# Last, the editor on a long recording: 60 s of the clip stored as a recording, opened in the
# editor window, a text overlay added and a GIF exported through the save flow; prints the
# process's peak resident memory (target <= 1.5 GiB).
# Needs MIRELO_BUILD (a Release build directory). MIRELO_STORE_SECONDS overrides the lengths,
# MIRELO_EDITOR_SECONDS the editor's (0 leaves it out).
set -euo pipefail
build="${MIRELO_BUILD:?set MIRELO_BUILD to a build directory}"
tool="$build/bench/capture_record"
[ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
lengths="${MIRELO_STORE_SECONDS:-10 60 120}"
fps=30
width=1920
height=1080

work="$(mktemp -d)"
Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
player=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=":$(tr -d '[:space:]' <"$work/display")"
[ "$display" != ":" ] || { echo "Xvfb did not start" >&2; exit 1; }
DISPLAY="$display" xdotool mousemove 500 400 >/dev/null 2>&1 || true
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

# CPU seconds (user + system) of one command, its output kept in a file.
cpu_of() {
  local out="$1"; shift
  local TIMEFORMAT='%U %S'
  { time "$@" >"$out" 2>&1; } 2>"$out.time"
  awk 'NF == 2 { cpu = $1 + $2 } END { printf "%.3f", cpu }' "$out.time"
}
field() { awk -F': ' -v k="$1" '$1 == k { print $2 }' "$2" | tr -dc '0-9.'; }

# Still desktop first: a terminal showing text, nothing moving but the clock of the run.
if command -v xterm >/dev/null; then
  DISPLAY="$display" xterm -geometry 120x45+100+100 -e bash -c 'ls -l /usr/bin | head -40; sleep 1000' \
    >/dev/null 2>&1 &
  term=$!
  sleep 1
  cpu_of "$work/still.out" "$tool" "$display" 10 "$fps" "$width" "$height" >/dev/null
  kill "$term" 2>/dev/null || true
  cat "$work/still.out" >&2
  awk -v s="$(field 'store bytes per frame' "$work/still.out")" \
      -v r="$(field 'raw bytes per frame' "$work/still.out")" 'BEGIN {
    share = r > 0 ? s / r : 1
    printf "store_bytes_per_frame_still_desktop: %.4f of raw (target: <= 0.02) %s\n", share,
      (share <= 0.02) ? "ok" : "MISS" }'
fi

# The moving content: a fractal zoom rendered once (3 s), then played in a loop, full screen.
# A zoom with its colours turning: every pixel changes in every frame.
ffmpeg -hide_banner -loglevel error -nostdin -f lavfi \
  -i "mandelbrot=s=${width}x${height}:rate=${fps},hue=H=2*PI*t" \
  -frames:v 90 -c:v mjpeg -q:v 2 -pix_fmt yuvj420p "$work/clip.avi"
# The store on every frame of that clip, whatever rate the player reaches on a busy machine.
ffmpeg -hide_banner -loglevel error -nostdin -i "$work/clip.avi" -pix_fmt rgba -f rawvideo "$work/clip.rgba"
"$build/bench/store_frames" "$work/clip.rgba" "$width" "$height" >"$work/store.out"
rm -f "$work/clip.rgba"
cat "$work/store.out" >&2
awk -v s="$(field 'store bytes per frame' "$work/store.out")" \
    -v r="$(field 'raw bytes per frame' "$work/store.out")" 'BEGIN {
  share = r > 0 ? s / r : 1
  printf "store_bytes_per_frame_moving_video: %.3f of raw (target: <= 0.25) %s\n", share,
    (share <= 0.25) ? "ok" : "MISS" }'

DISPLAY="$display" SDL_VIDEODRIVER=x11 ffplay -hide_banner -loglevel error -loop 0 \
  -noborder -left 0 -top 0 -x "$width" -y "$height" -an "$work/clip.avi" >/dev/null 2>&1 &
player=$!
sleep 2

for seconds in $lengths; do
  cpu=$(cpu_of "$work/moving.out" "$tool" "$display" "$seconds" "$fps" "$width" "$height")
  echo "== ${seconds} s, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
  cat "$work/moving.out" >&2
  frames=$(field frames "$work/moving.out")
  awk -v m="$(field 'peak memory' "$work/moving.out")" -v n="recording_peak_memory_1080p30_${seconds}s" 'BEGIN {
    printf "%s: %.0f MB (target: <= 1024) %s\n", n, m, (m > 0 && m <= 1024) ? "ok" : "MISS" }'
  awk -v f="${frames:-0}" -v e="$((seconds * fps))" -v n="recording_frames_delivered_1080p30_${seconds}s" 'BEGIN {
    share = 100 * f / e
    printf "%s: %.1f %% (target: >= 99) %s\n", n, share, (share >= 99) ? "ok" : "MISS" }'
  if [ "$seconds" = 60 ] || [ "$lengths" = "$seconds" ]; then
    ffmpeg_cpu=$(cpu_of "$work/ffmpeg.out" ffmpeg -hide_banner -nostdin -loglevel info -y \
      -f x11grab -draw_mouse 1 -framerate "$fps" -video_size "${width}x${height}" -i "$display+0,0" \
      -t "$seconds" -c:v libx264rgb -preset ultrafast -qp 0 "$work/lossless.mkv")
    echo "ffmpeg x11grab -> lossless file: cpu ${ffmpeg_cpu} s, $(grep -o 'frame= *[0-9]*' "$work/ffmpeg.out" | tail -1)" >&2
    rm -f "$work/lossless.mkv"
    awk -v m="$cpu" -v f="$ffmpeg_cpu" -v n="recording_cpu_vs_x11grab_lossless_1080p30_${seconds}s" 'BEGIN {
      ratio = f > 0 ? m / f : 0
      printf "%s: %.2f x (target: <= 1.5) %s\n", n, ratio, (ratio > 0 && ratio <= 1.5) ? "ok" : "MISS" }'
  fi
done
kill "$player" 2>/dev/null || true
player=""

editor_seconds="${MIRELO_EDITOR_SECONDS:-60}"
if [ "$editor_seconds" -gt 0 ] && [ -x "$build/bench/editor_export_memory" ]; then
  ok=0
  ffmpeg -hide_banner -loglevel error -nostdin -stream_loop -1 -i "$work/clip.avi" \
    -frames:v "$((editor_seconds * fps))" -pix_fmt rgba -f rawvideo - |
    QT_QPA_PLATFORM=offscreen timeout 1200 "$build/bench/editor_export_memory" - "$width" "$height" \
      "$work/editor.gif" >"$work/editor.out" 2>"$work/editor.err" && ok=1
  echo "== editor, ${editor_seconds} s, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
  cat "$work/editor.out" >&2
  [ "$ok" = 1 ] || echo "the editor run failed or did not end" >&2
  awk -v m="$(field 'peak memory' "$work/editor.out")" -v ok="$ok" \
      -v n="editor_peak_memory_1080p30_${editor_seconds}s_text_gif" 'BEGIN {
    printf "%s: %.0f MB (target: <= 1536) %s\n", n, m, (ok && m > 0 && m <= 1536) ? "ok" : "MISS" }'
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
