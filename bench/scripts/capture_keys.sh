#!/usr/bin/env bash
# The cost of 显示按键: recording CPU at 1920x1080, 30 fps, 8 s, with the key and click capture
# on (every key) against off, on the same private Xvfb in the same run, while xdotool types and
# clicks throughout. Each way records twice, alternating, and the CPU seconds (user + system of
# the recording process) are summed per way. Prints the ratio (target: at most 1.05x) and the
# events the recordings with the capture on kept.
# Needs MIRELO_BUILD (a Release build directory).
set -euo pipefail
build="${MIRELO_BUILD:?set MIRELO_BUILD to a build directory}"
tool="$build/bench/capture_record"
[ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
command -v xdotool >/dev/null || { echo "xdotool missing" >&2; exit 1; }
seconds=8
fps=30
width=1920
height=1080

work="$(mktemp -d)"
Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
typist=""
cleanup() {
  [ -n "$typist" ] && kill "$typist" 2>/dev/null || true
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

# Typing (about 12 keys a second, shortcuts among them) and two clicks a second, all along.
DISPLAY="$display" bash -c 'while :; do
  xdotool type --delay 80 "the quick brown fox" key ctrl+s mousemove 700 500 click 1 \
    mousemove 900 600 click 3
done' >/dev/null 2>&1 &
typist=$!
sleep 1

cpu_of() {
  local out="$1"; shift
  local TIMEFORMAT='%U %S'
  { time "$@" >"$out" 2>&1; } 2>"$out.time"
  awk 'NF == 2 { cpu = $1 + $2 } END { printf "%.3f", cpu }' "$out.time"
}

off=0
on=0
events=0
for round in 1 2; do
  c=$(cpu_of "$work/off.out" "$tool" "$display" "$seconds" "$fps" "$width" "$height")
  off=$(awk -v a="$off" -v b="$c" 'BEGIN { print a + b }')
  c=$(cpu_of "$work/on.out" "$tool" "$display" "$seconds" "$fps" "$width" "$height" keys)
  on=$(awk -v a="$on" -v b="$c" 'BEGIN { print a + b }')
  n=$(awk '/^input events:/ { print $3 }' "$work/on.out")
  events=$((events + ${n:-0}))
  echo "== round $round: off" >&2
  cat "$work/off.out" >&2
  echo "== round $round: on" >&2
  cat "$work/on.out" >&2
done
echo "cpu seconds: off $off, on $on; input events kept: $events" >&2

awk -v on="$on" -v off="$off" -v e="$events" -v n="capture_cpu_keys_on_vs_off_1080p30" 'BEGIN {
  ratio = off > 0 ? on / off : 0
  ok = (ratio > 0 && ratio <= 1.05 && e > 0)
  printf "%s: %.3f x (target: <= 1.05) %s\n", n, ratio, ok ? "ok" : "MISS" }'
