#!/usr/bin/env bash
# GIF export against ffmpeg's two-pass GIF (palettegen stats_mode=full, then
# paletteuse dither=floyd_steinberg) on the recorded corpus, at quality 80.
# For each kind of content prints figure lines: how many times faster
# mirelo-convert is (wall time), our file size over ffmpeg's and over
# gifsicle -O3's optimisation of ffmpeg's file, shimmer (the share of pixels
# whose source colour stayed the same but whose colour in the GIF changed),
# and the mean PSNR of each output against the source frames (decoded back
# with ffmpeg). Ratios are measured in the same run; the load average is
# printed on stderr, since other work on the machine skews the times.
# The application's own export (frames already in memory, as a recording
# holds them; no PNG decoding) is timed the same way against the same ffmpeg
# run. gifsicle figures are left out when gifsicle is not installed.
# ffmpeg is only the yardstick here. Needs MIRELO_BUILD = a Release build dir
# with tools/mirelo-convert; makes bench/corpus when it is missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${MIRELO_BUILD:?set MIRELO_BUILD to a Release build directory}"
convert="$build/tools/mirelo-convert"
[ -x "$convert" ] || { echo "gif_vs_ffmpeg: $convert not built" >&2; exit 1; }
corpus="${MIRELO_CORPUS:-$root/bench/corpus}"
if [ ! -d "$corpus/text" ] || [ ! -d "$corpus/desktop" ] || [ ! -d "$corpus/busy" ] ||
  [ ! -d "$corpus/colour" ]; then
  bash "$root/bench/make-corpus.sh" "$corpus" >&2
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

figure() {  # name value unit op target
  awk -v n="$1" -v v="$2" -v u="$3" -v op="$4" -v t="$5" 'BEGIN {
    ok = (op == ">=" && v >= t) || (op == "<=" && v <= t) || (op == ">" && v > t) || (op == "<" && v < t)
    printf "%s: %.4g %s (target: %s %g) %s\n", n, v, u, op, t, ok ? "ok" : "MISS" }'
}
# Mean PSNR (dB) of a GIF against the source frames, frame by frame in order.
psnr() {
  local gif="$1" frames="$2" log="$3"
  ffmpeg -hide_banner -nostats -i "$gif" -i "$frames/%05d.png" -lavfi \
    "[0:v]settb=1/30,setpts=N,format=rgb24[a];[1:v]settb=1/30,setpts=N,format=rgb24[b];[a][b]psnr" \
    -fps_mode passthrough -f null - 2>"$log" || true
  sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' "$log" | tail -1 | sed 's/inf/99/'
}
# best_of RUNS COMMAND...: runs the command RUNS times and prints the wall
# seconds of the fastest run and the CPU seconds (user + system) of that run.
best_of() {
  local runs="$1"; shift
  local best="" cpu=""
  for _ in $(seq "$runs"); do
    local times
    times=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )
    read -r wall user sys <<<"$times"
    if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best="$wall"
      cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    fi
  done
  echo "$best $cpu"
}

# best_in_memory RUNS: the fastest wall seconds of the in-memory export and
# the CPU seconds of that run, as the helper measures them.
best_in_memory() {
  local best="" cpu=""
  for _ in $(seq "$1"); do
    read -r wall used <<<"$("$export_time" "$frames" "$fps" 80 "$work/memory.gif")"
    if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best="$wall"
      cpu="$used"
    fi
  done
  echo "$best $cpu"
}

ours() { "$convert" --quiet --fps "$fps" --quality 80 "$frames" "$work/ours.gif"; }
theirs() {
  ffmpeg -loglevel error -y -framerate "$fps" -i "$frames/%05d.png" \
    -vf palettegen=stats_mode=full "$work/palette.png" &&
    ffmpeg -loglevel error -y -framerate "$fps" -i "$frames/%05d.png" -i "$work/palette.png" \
      -lavfi paletteuse=dither=floyd_steinberg "$work/ffmpeg.gif"
}

shimmer="$build/bench/mirelo-gif-shimmer"
export_time="$build/bench/mirelo-gif-export-time"
echo "gif_vs_ffmpeg: load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for kind in ${MIRELO_GIF_KINDS:-text:15 desktop:30 busy:30 colour:15}; do
  name="${kind%%:*}"
  fps="${kind##*:}"
  frames="$corpus/$name"
  runs=3
  [ "$name" = desktop ] || [ "$name" = busy ] && runs=2
  read -r t_ours cpu_ours <<<"$(best_of "$runs" ours)"
  read -r t_theirs cpu_theirs <<<"$(best_of "$runs" theirs)"
  read -r t_memory cpu_memory <<<"$(best_in_memory "$runs")"
  size_ours=$(stat -c %s "$work/ours.gif")
  size_theirs=$(stat -c %s "$work/ffmpeg.gif")
  p_ours=$(psnr "$work/ours.gif" "$frames" "$work/psnr-ours.log")
  p_theirs=$(psnr "$work/ffmpeg.gif" "$frames" "$work/psnr-ffmpeg.log")
  size_gifsicle=""
  size_ours_O3=""
  if command -v gifsicle >/dev/null; then
    gifsicle -O3 "$work/ffmpeg.gif" -o "$work/gifsicle.gif"
    size_gifsicle=$(stat -c %s "$work/gifsicle.gif")
    # What gifsicle -O3 still takes off our own file, without changing a
    # decoded pixel: what our writer leaves on the table.
    gifsicle -O3 "$work/ours.gif" -o "$work/ours-O3.gif"
    size_ours_O3=$(stat -c %s "$work/ours-O3.gif")
  fi
  # Lossy at the default strength of 有损压缩 against gifsicle's lossy mode
  # applied to our lossless file.
  lossy_lines=""
  if command -v gifsicle >/dev/null; then
    "$convert" --quiet --fps "$fps" --quality 80 --lossy 40 "$frames" "$work/ours-lossy.gif"
    gifsicle -O3 --lossy=30 "$work/ours.gif" -o "$work/gifsicle-lossy.gif"
    p_lossy=$(psnr "$work/ours-lossy.gif" "$frames" "$work/psnr-lossy.log")
    p_gs_lossy=$(psnr "$work/gifsicle-lossy.gif" "$frames" "$work/psnr-gs-lossy.log")
    lossy_lines=$(
      figure "gif_${name}_lossy_size_vs_gifsicle_lossy30" "$(awk -v a="$(stat -c %s "$work/ours-lossy.gif")" -v b="$(stat -c %s "$work/gifsicle-lossy.gif")" 'BEGIN { print a / b }')" ratio "<" 1
      figure "gif_${name}_lossy_psnr_minus_gifsicle_lossy30" "$(awk -v a="${p_lossy:-0}" -v b="${p_gs_lossy:-0}" 'BEGIN { print a - b }')" dB ">=" 0
    )
  fi
  s_ours=$("$shimmer" "$work/ours.gif" "$frames")
  s_theirs=$("$shimmer" "$work/ffmpeg.gif" "$frames")
  echo "gif_vs_ffmpeg $name: ours ${t_ours}s (cpu ${cpu_ours}s) ${size_ours}B ${p_ours}dB;" \
    "in memory ${t_memory}s (cpu ${cpu_memory}s);" \
    "ffmpeg ${t_theirs}s (cpu ${cpu_theirs}s) ${size_theirs}B ${p_theirs}dB;" \
    "gifsicle -O3 of ffmpeg's ${size_gifsicle}B; load $(cut -d' ' -f1 /proc/loadavg)" >&2
  figure "gif_${name}_speedup_vs_ffmpeg" "$(awk -v a="$t_theirs" -v b="$t_ours" 'BEGIN { print a / b }')" x ">=" 3
  figure "gif_${name}_in_memory_speedup_vs_ffmpeg" "$(awk -v a="$t_theirs" -v b="$t_memory" 'BEGIN { print a / b }')" x ">=" 3
  # CPU time ratio, for reading the wall-time figure on a busy machine.
  figure "gif_${name}_cpu_ratio_vs_ffmpeg" "$(awk -v a="$cpu_theirs" -v b="$cpu_ours" 'BEGIN { print a / b }')" x ">=" 1
  figure "gif_${name}_size_vs_ffmpeg" "$(awk -v a="$size_ours" -v b="$size_theirs" 'BEGIN { print a / b }')" ratio "<=" 1
  # Beside it, for reading: what gifsicle -O3 makes of ffmpeg's file.
  [ -z "$size_gifsicle" ] || figure "gif_${name}_size_vs_gifsicle_O3" "$(awk -v a="$size_ours" -v b="$size_gifsicle" 'BEGIN { print a / b }')" ratio "<=" 1
  [ -z "$size_gifsicle" ] || figure "gif_${name}_gifsicle_O3_saving_on_ours" "$(awk -v a="$size_ours" -v b="$size_ours_O3" 'BEGIN { print 100 * (a - b) / a }')" % "<=" 1
  [ -z "$lossy_lines" ] || echo "$lossy_lines"
  figure "gif_${name}_shimmer_ours" "$s_ours" % "<=" 0.1
  figure "gif_${name}_shimmer_ffmpeg" "$s_theirs" % ">=" 0
  figure "gif_${name}_psnr_ours" "${p_ours:-0}" dB ">=" 0
  figure "gif_${name}_psnr_ffmpeg" "${p_theirs:-0}" dB ">=" 0
done
