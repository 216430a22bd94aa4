#!/usr/bin/env bash
# Opening a 60 s 1920x1080 30 fps MP4 (H.264, ffmpeg's testsrc2 pattern, made once into the
# ignored bench/corpus/) as the editor does, every frame into a recording store, against
# `ffmpeg -i it -f null -` decoding the same file in the same run. Prints the wall-clock ratio
# (target <= 1.5x) and the peak resident memory while opening (target <= 600 MB).
# Needs MIRELO_BUILD (a Release build directory). MIRELO_OPEN_SECONDS overrides the length.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${MIRELO_BUILD:?set MIRELO_BUILD to a build directory}"
tool="$build/bench/open_frames"
[ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
seconds="${MIRELO_OPEN_SECONDS:-60}"
corpus="$root/bench/corpus"
video="$corpus/testsrc2-1080p30-${seconds}s.mp4"
mkdir -p "$corpus"
if [ ! -s "$video" ]; then
  ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=30" -t "$seconds" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -y "$video.part.mp4"
  mv "$video.part.mp4" "$video"
fi
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

now() { date +%s.%N; }
start=$(now)
ffmpeg -v error -nostdin -i "$video" -f null - 
ffmpeg_seconds=$(echo "$(now) - $start" | bc -l)
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"$tool" "$video" >"$out"
cat "$out" >&2
field() { awk -F': ' -v k="$1" '$1 == k { print $2 }' "$out"; }
frames=$(field frames)
[ "$frames" -ge $((seconds * 30 - 1)) ] || { echo "opened only $frames frames" >&2; exit 1; }
ratio=$(echo "$(field seconds) / $ffmpeg_seconds" | bc -l)
peak=$(field peak_mb)
echo "ffmpeg: ${ffmpeg_seconds}s, open: $(field seconds)s" >&2
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v <= t ? "ok" : "MISS") }'; }
printf 'open_video_1080p30_%ss_vs_ffmpeg: %.3g x (target: <= 1.5) %s\n' "$seconds" "$ratio" \
  "$(verdict "$ratio" 1.5)"
printf 'open_video_1080p30_%ss_peak_memory: %.4g MB (target: <= 600) %s\n' "$seconds" "$peak" \
  "$(verdict "$peak" 600)"
