#!/usr/bin/env bash
# WebP and MP4 export of mirelo-convert against the command-line encoders on
# the same PNG frames (the benchmark corpus):
#   WebP: img2webp -lossy -q 80 -m 4, the settings of our WebP export;
#   MP4:  ffmpeg with libx264 at the same average bit rate as our export,
#         with the same encoder settings (preset medium, no B-frames).
# Times are the best of 3 interleaved runs per clip, summed over the corpus;
# sizes and PSNR (RGB, against the source frames) are per clip.
# Usage: MIRELO_BUILD=<Release build dir> bench/scripts/webp_mp4_vs_cli.sh
# MIRELO_CORPUS overrides the corpus folder (default bench/corpus, made by
# bench/make-corpus.sh when missing).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${MIRELO_BUILD:-$root/build-bench}"
convert="$build/tools/mirelo-convert"
psnr="$build/bench/mirelo-media-psnr"
corpus="${MIRELO_CORPUS:-$root/bench/corpus}"
runs="${MIRELO_BENCH_RUNS:-3}"

for tool in img2webp ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "webp_mp4_vs_cli: $tool is missing" >&2; exit 1; }
done
[ -x "$convert" ] && [ -x "$psnr" ] || { echo "webp_mp4_vs_cli: build mirelo-convert and mirelo-media-psnr in $build" >&2; exit 1; }
if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus" 2>/dev/null)" ]; then
  bash "$root/bench/make-corpus.sh" "$corpus" >&2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
# best TIME_VAR CMD...: runs CMD once, keeps the lower of the time and TIME_VAR.
elapsed() { local t0 t1; t0=$(now); "$@" >/dev/null 2>&1; t1=$(now); python3 -c "print($t1 - $t0)"; }
min() { python3 -c "import sys; print(min(float(a) for a in sys.argv[1:]))" "$@"; }
ratio() { python3 -c "import sys; print('%.4g' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
add() { python3 -c "import sys; print(sum(float(a) for a in sys.argv[1:]))" "$@"; }
# figure NAME VALUE UNIT OP TARGET
figure() {
  python3 - "$@" <<'EOF'
import sys
name, value, unit, op, target = sys.argv[1:6]
v, t = float(value), float(target)
ok = {"<=": v <= t, "<": v < t, ">=": v >= t, ">": v > t}[op]
print("%s: %.4g %s (target: %s %.4g) %s" % (name, v, unit, op, t, "ok" if ok else "MISS"))
EOF
}

webp_ours_total=0; webp_cli_total=0; mp4_ours_total=0; mp4_cli_total=0
for clip_dir in "$corpus"/*/; do
  clip="$(basename "$clip_dir")"
  mapfile -t frames < <(ls "$clip_dir"*.png | sort)
  [ "${#frames[@]}" -gt 0 ] || continue
  case "$clip" in desktop) fps=30 ;; *) fps=15 ;; esac
  frame_ms=$(python3 -c "print(round(1000 / $fps))")
  read -r width height < <(python3 - "${frames[0]}" <<'EOF'
import struct, sys
with open(sys.argv[1], "rb") as f:
    head = f.read(24)
print(*struct.unpack(">II", head[16:24]))
EOF
)
  # The export's average bit rate for this clip, computed as the exporter does.
  rate=$(python3 - "$fps" "${#frames[@]}" "$width" "$height" <<'EOF'
import sys
fps, n, w, h = float(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
w, h = max(2, w & ~1), max(2, h & ~1)
total = 0.0
for _ in range(n):
    total += 1.0 / fps
rate = (n / max(total, 0.01)) * (w * h) * (80 / 100 * 0.36 + 0.04)
print(max(int(rate), 100000))
EOF
)
  ours_webp="$work/$clip.ours.webp"; cli_webp="$work/$clip.cli.webp"
  ours_mp4="$work/$clip.ours.mp4"; cli_mp4="$work/$clip.cli.mp4"
  t_ow=(); t_cw=(); t_om=(); t_cm=()
  for _ in $(seq "$runs"); do
    t_ow+=("$(elapsed "$convert" --quiet --fps "$fps" --quality 80 "$clip_dir" "$ours_webp")")
    t_cw+=("$(elapsed img2webp -lossy -q 80 -m 4 -d "$frame_ms" -loop 0 "${frames[@]}" -o "$cli_webp")")
    t_om+=("$(elapsed "$convert" --quiet --fps "$fps" --quality 80 "$clip_dir" "$ours_mp4")")
    t_cm+=("$(elapsed ffmpeg -y -loglevel error -framerate "$fps" -i "$clip_dir%05d.png" \
      -c:v libx264 -preset medium -bf 0 -b:v "$rate" -pix_fmt yuv420p -movflags +faststart "$cli_mp4")")
  done
  ow=$(min "${t_ow[@]}"); cw=$(min "${t_cw[@]}"); om=$(min "${t_om[@]}"); cm=$(min "${t_cm[@]}")
  webp_ours_total=$(add "$webp_ours_total" "$ow"); webp_cli_total=$(add "$webp_cli_total" "$cw")
  mp4_ours_total=$(add "$mp4_ours_total" "$om"); mp4_cli_total=$(add "$mp4_cli_total" "$cm")
  echo "$clip: ${#frames[@]} frames ${width}x${height} @${fps}; webp ours ${ow}s cli ${cw}s; mp4 ours ${om}s cli ${cm}s (rate $rate)" >&2

  read -r psnr_ow _ < <("$psnr" "$clip_dir" "$ours_webp" "$frame_ms")
  read -r psnr_cw _ < <("$psnr" "$clip_dir" "$cli_webp" "$frame_ms")
  read -r psnr_om _ < <("$psnr" "$clip_dir" "$ours_mp4" "$frame_ms")
  read -r psnr_cm _ < <("$psnr" "$clip_dir" "$cli_mp4" "$frame_ms")
  size_ow=$(stat -c %s "$ours_webp"); size_cw=$(stat -c %s "$cli_webp")
  size_om=$(stat -c %s "$ours_mp4"); size_cm=$(stat -c %s "$cli_mp4")
  echo "$clip: webp $size_ow vs $size_cw bytes, $psnr_ow vs $psnr_cw dB; mp4 $size_om vs $size_cm bytes, $psnr_om vs $psnr_cm dB" >&2

  figure "webp_${clip}_size" "$(python3 -c "print($size_ow / 1000)")" kB "<=" "$(python3 -c "print($size_cw * 1.1 / 1000)")"
  figure "webp_${clip}_psnr" "$psnr_ow" dB ">=" "$(python3 -c "print($psnr_cw - 0.5)")"
  figure "mp4_${clip}_size" "$(python3 -c "print($size_om / 1000)")" kB "<=" "$(python3 -c "print($size_cm * 1.1 / 1000)")"
  figure "mp4_${clip}_psnr" "$psnr_om" dB ">=" "$(python3 -c "print($psnr_cm - 0.5)")"
done

figure webp_export_vs_img2webp_time "$(ratio "$webp_ours_total" "$webp_cli_total")" x "<=" 1.1
figure mp4_export_vs_ffmpeg_time "$(ratio "$mp4_ours_total" "$mp4_cli_total")" x "<=" 1.1
