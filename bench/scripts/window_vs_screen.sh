#!/usr/bin/env bash
# Recording one window against recording the same rectangle of the screen, on the same private
# Xvfb in the same run: a terminal at the top-left corner of the screen, recorded for 10 s at
# 30 fps once as a window (its Composite pixmap) and once as the screen rectangle it covers,
# while it sits still and again while it scrolls text. Prints the ratio of the CPU seconds of
# the recording processes (target: the window within 1.2x of the screen) and the same with the
# X server's CPU seconds added (it redirects and copies the window's pixels for the window
# recording, and copies the screen's for the other).
# Needs MIRELO_BUILD (a Release build directory), xterm and xdotool.
set -euo pipefail
build="${MIRELO_BUILD:?set MIRELO_BUILD to a build directory}"
tool="$build/bench/capture_record"
[ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
command -v xterm >/dev/null && command -v xdotool >/dev/null ||
  { echo "needs xterm and xdotool" >&2; exit 1; }
seconds=10
fps=30

work="$(mktemp -d)"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
term=""
cleanup() {
  [ -n "$term" ] && kill "$term" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=":$(tr -d '[:space:]' <"$work/display")"
[ "$display" != ":" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY="$display"
xdotool mousemove 300 200 >/dev/null 2>&1 || true

# CPU seconds (user + system) of one command, its output kept in a file.
cpu_of() {
  local out="$1"; shift
  local TIMEFORMAT='%U %S'
  { time "$@" >"$out" 2>&1; } 2>"$out.time"
  awk 'NF == 2 { cpu = $1 + $2 } END { printf "%.3f", cpu }' "$out.time"
}
server_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$xvfb/stat"
}

# Starts a terminal at the top-left corner running $1; sets window, width, height.
start_terminal() {
  xterm -bw 0 -geometry 200x56+0+0 -e bash -c "$1" >/dev/null 2>&1 &
  term=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --pid "$term" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "xterm did not show" >&2; exit 1; }
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  width=$WIDTH
  height=$HEIGHT
}

compare() {
  local suffix="$1" before screen_cpu screen_server window_cpu window_server
  before=$(server_cpu)
  screen_cpu=$(cpu_of "$work/screen.out" "$tool" "$display" "$seconds" "$fps" "$width" "$height")
  screen_server=$(awk -v a="$before" -v b="$(server_cpu)" 'BEGIN { printf "%.3f", b - a }')
  before=$(server_cpu)
  window_cpu=$(cpu_of "$work/window.out" "$tool" "$display" "$seconds" "$fps" "$width" "$height" \
    "window=$window")
  window_server=$(awk -v a="$before" -v b="$(server_cpu)" 'BEGIN { printf "%.3f", b - a }')

  echo "== ${width}x${height}$suffix" >&2
  echo "-- screen" >&2; cat "$work/screen.out" >&2
  echo "-- window" >&2; cat "$work/window.out" >&2
  echo "cpu: window ${window_cpu} s, screen ${screen_cpu} s;" \
    "X server: window ${window_server} s, screen ${screen_server} s" >&2
  awk -v w="$window_cpu" -v s="$screen_cpu" -v n="window_cpu_vs_screen_30fps$suffix" 'BEGIN {
    ratio = s > 0 ? w / s : 0
    printf "%s: %.2f x (target: <= 1.2) %s\n", n, ratio, (ratio > 0 && ratio <= 1.2) ? "ok" : "MISS" }'
  awk -v w="$window_cpu" -v ws="$window_server" -v s="$screen_cpu" -v ss="$screen_server" \
    -v n="window_cpu_with_server_vs_screen_30fps$suffix" 'BEGIN {
    ratio = (s + ss) > 0 ? (w + ws) / (s + ss) : 0
    printf "%s: %.2f x (target: <= 1.2) %s\n", n, ratio, (ratio > 0 && ratio <= 1.2) ? "ok" : "MISS" }'
}

start_terminal 'ls -l /usr/lib/x86_64-linux-gnu | head -30; sleep 1000'
compare ""
kill "$term" 2>/dev/null || true
wait "$term" 2>/dev/null || true

start_terminal 'while :; do ls -l /usr/lib/x86_64-linux-gnu | head -60; sleep 0.02; done'
compare "_scrolling"
