#!/usr/bin/env bash
# Records a small corpus of real screen recordings into bench/corpus/ (PNG
# frames, one folder per kind of content), on a private X server:
#   text/      960 x 540 at 15 fps: a terminal scrolling text, then an editor
#              in it being typed into
#   desktop/   1920 x 1080 at 30 fps: windows moving over a photo-like
#              wallpaper while terminals and clocks update (grabbed per step)
#   busy/      1920 x 1080 at 30 fps: another desktop with a terminal running
#              top moving and a second terminal being resized, and clocks
#   colour/    640 x 360 at 15 fps: a colourful, grainy fractal zoom playing
#              in a video player window
# Each clip is a few seconds long. Frames are grabbed losslessly in real time
# first, then written as PNG, so slow PNG encoding cannot drop frames.
# Usage: bench/make-corpus.sh [OUT_DIR]   (default bench/corpus)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/bench/corpus}"
for tool in Xvfb openbox xterm xdotool xwd ffmpeg ffplay display xclock xeyes; do
  command -v "$tool" >/dev/null || { echo "make-corpus: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display number nobody uses.
display=""
for n in $(seq 140 199); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "make-corpus: no free display" >&2; exit 1; }
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# grab NAME SIZE OFFSET FPS SECONDS: lossless real-time capture, then PNGs.
grab() {
  local name="$1" size="$2" offset="$3" fps="$4" seconds="$5"
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 1 -framerate "$fps" -video_size "$size" \
    -i "$display+$offset" -t "$seconds" -c:v libx264rgb -qp 0 -preset ultrafast \
    "$work/$name.mkv"
}
# to_png NAME [INPUT]: the captured frames as numbered PNG files.
to_png() {
  local name="$1" input="${2:-$work/$1.mkv}"
  rm -rf "${out:?}/$name"
  mkdir -p "$out/$name"
  ffmpeg -loglevel error -threads 2 -i "$input" -fps_mode passthrough -pix_fmt rgb24 \
    "$out/$name/%05d.png"
  echo "make-corpus: $name: $(ls "$out/$name" | wc -l) frames" >&2
}
# Waits for a new window of a class and returns its id.
window_of() {
  xdotool search --sync --onlyvisible --class "$1" 2>/dev/null | tail -1
}

mkdir -p "$out"
# need NAME: whether the clip is still to be recorded (a clip already there
# is kept unless MIRELO_CORPUS_FORCE is set).
need() {
  [ -n "${MIRELO_CORPUS_FORCE:-}" ] || [ -z "$(ls -A "$out/$1" 2>/dev/null)" ]
}
# xterms N: the ids of the visible terminals once there are at least N.
xterms() {
  local n="$1" ids=()
  for _ in $(seq 50); do
    mapfile -t ids < <(xdotool search --onlyvisible --class xterm 2>/dev/null)
    [ "${#ids[@]}" -ge "$n" ] && break
    sleep 0.2
  done
  printf '%s\n' "${ids[@]}"
}

# --- text: a terminal scrolling text, then vi being typed into ---
if need text; then
cat >"$work/scroll.sh" <<'EOF'
for f in /usr/include/*.h; do head -n 4 "$f"; sleep 0.03; done | head -n 40
touch "$1.ready"
exec vi -u NONE "$1"
EOF
xterm -fa 'DejaVu Sans Mono' -fs 11 -bg '#1e1e1e' -fg '#d0d0d0' -geometry 110x30+0+0 \
  -e bash "$work/scroll.sh" "$work/edit.txt" &
pids+=($!)
term=$(window_of xterm)
xdotool windowsize "$term" 960 540 windowmove "$term" 0 0
grab text 960x540 0,0 15 6 &
grabber=$!
# Type once the editor runs. Typing is best effort: if the terminal has gone,
# the clip still holds the scrolling text.
for _ in $(seq 100); do [ -e "$work/edit.txt.ready" ] && break; sleep 0.1; done
sleep 0.5
xdotool type --window "$term" --delay 35 "i// Frames are kept in recording order." 2>/dev/null || true
xdotool key --window "$term" Return 2>/dev/null || true
xdotool type --window "$term" --delay 35 "int delayFor(int fps) { return 100 / fps; }" 2>/dev/null || true
wait "$grabber"
xdotool key --window "$term" Escape 2>/dev/null || true
xdotool type --window "$term" ":q!" 2>/dev/null || true
xdotool key --window "$term" Return 2>/dev/null || true
to_png text
fi

cat >"$work/busy.sh" <<'EOF'
while :; do date '+%T.%N'; ls -l /usr/bin | shuf -n 3; sleep 0.15; done
EOF

# --- desktop: windows moving over a wallpaper ---
if need desktop; then
ffmpeg -loglevel error -y -f lavfi -i "mandelbrot=size=1920x1080:start_scale=2.2:outer=normalized_iteration_count" \
  -vf "gblur=sigma=1.2,noise=alls=6:allf=u" -frames:v 1 "$work/wall.png"
display -window root "$work/wall.png" &
pids+=($!)
sleep 1
wins=()
for geo in 80x24+60+80 70x20+900+120 90x18+300+600; do
  xterm -fa 'DejaVu Sans Mono' -fs 10 -geometry "$geo" -e bash "$work/busy.sh" &
  pids+=($!)
  sleep 0.4
done
xclock -update 1 -geometry 220x220+1500+650 &
pids+=($!)
xeyes -geometry 200x150+1200+60 &
pids+=($!)
sleep 1
mapfile -t wins < <(xterms 3)
# A full-screen grab at 30 fps cannot keep up on a small machine, so the
# desktop is recorded one frame per step: windows move by a 30 fps step, then
# the screen is grabbed, while the terminals and clocks keep running.
mkdir -p "$work/desktop"
for step in $(seq 0 89); do
  xdotool windowmove "${wins[0]}" $((60 + step * 6)) $((80 + step * 3)) 2>/dev/null || true
  xdotool windowmove "${wins[1]}" $((900 - step * 5)) $((120 + step * 4)) 2>/dev/null || true
  xwd -root -silent -out "$work/desktop/$(printf %05d "$step").xwd"
  sleep 0.02
done
to_png desktop "$work/desktop/%05d.xwd"
for w in "${wins[@]}"; do xdotool windowkill "$w" 2>/dev/null || true; done
fi

# --- busy: another 1080p desktop, windows moved and resized, top running ---
if need busy; then
ffmpeg -loglevel error -y -f lavfi -i "gradients=size=1920x1080:n=5:seed=7" \
  -vf "format=rgb24,noise=alls=5:allf=u" -frames:v 1 "$work/wall2.png"
display -window root "$work/wall2.png" &
pids+=($!)
sleep 1
xterm -fa 'DejaVu Sans Mono' -fs 10 -geometry 100x32+120+140 -e top -d 0.3 &
pids+=($!)
sleep 0.6
xterm -fa 'DejaVu Sans Mono' -fs 11 -bg '#202830' -fg '#e0e0e0' -geometry 70x20+1000+500 \
  -e bash "$work/busy.sh" &
pids+=($!)
sleep 1
mapfile -t wins < <(xterms 2)
mkdir -p "$work/busy"
for step in $(seq 0 89); do
  xdotool windowmove "${wins[0]}" $((120 + step * 4)) $((140 + step * 2)) 2>/dev/null || true
  xdotool windowsize "${wins[1]}" $((560 + step * 4)) $((320 + step * 2)) 2>/dev/null || true
  xwd -root -silent -out "$work/busy/$(printf %05d "$step").xwd"
  sleep 0.02
done
to_png busy "$work/busy/%05d.xwd"
for w in "${wins[@]}"; do xdotool windowkill "$w" 2>/dev/null || true; done
fi

# --- colour: a fractal zoom in a video player ---
if need colour; then
ffplay -loglevel error -f lavfi -i "mandelbrot=size=640x360:rate=25:outer=normalized_iteration_count" \
  -vf "gblur=sigma=1.2,noise=alls=7:allf=t" -left 0 -top 0 -noborder \
  -an -autoexit -t 30 &
pids+=($!)
sleep 2
grab colour 640x360 0,0 15 4
to_png colour
fi
echo "make-corpus: corpus in $out" >&2
