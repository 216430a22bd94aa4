#!/usr/bin/env bash
# Screen capture on Wayland desktops (the headless sessions of tests/wayland/wayland-session.sh,
# through the screen-cast portal and PipeWire: sway, then GNOME Shell) against ffmpeg's x11grab
# on an X server of the same size: 1280x720 at 30 fps for 10 s, a terminal scrolling text over
# part of the screen all the time. Prints, for each desktop, the frames Mirelo delivered
# (target: at least 99 % of 300) and the ratio of the CPU seconds of the two recording
# processes (target: Mirelo within 2x of ffmpeg, which hands its frames to a null sink).
# Figures of desktops other than sway end in the desktop's name.
# Needs MIRELO_BUILD (a Release build directory). Content the figures are not tuned for:
# MIRELO_BENCH_SIZE=WxH (the session's output at that size, the whole of it recorded; figure
# names end in its height), MIRELO_BENCH_CONTENT=still (no terminal: a still desktop),
# MIRELO_BENCH_POINTER=no (recorded without the pointer). MIRELO_BENCH_DESKTOPS="sway gnome"
# (the default) names the desktops measured.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${MIRELO_BUILD:?set MIRELO_BUILD to a build directory}"
tool="$build/bench/capture_record"
[ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
seconds=10
fps=30
size="${MIRELO_BENCH_SIZE:-1280x720}"
width="${size%x*}"
height="${size#*x}"
content="${MIRELO_BENCH_CONTENT:-scrolling}"
pointer=""
[ "${MIRELO_BENCH_POINTER:-yes}" = no ] && pointer=nopointer
scroll='while :; do ls -l /usr/lib/x86_64-linux-gnu | head -60; sleep 0.02; done'
[ "$content" = still ] && scroll='sleep 1000'
suffix="${height}p${fps}"
[ "$content" = still ] && suffix="${suffix}_still"
[ -n "$pointer" ] && suffix="${suffix}_nopointer"
desktops="${MIRELO_BENCH_DESKTOPS:-sway gnome}"

work="$(mktemp -d)"
chmod 755 "$work"
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
# The session runs as another user when we are root: it gets a copy of the tool it can run.
install -m 755 "$tool" "$work/capture_record"
cat >"$work/inside.sh" <<INSIDE
#!/usr/bin/env bash
# A Wayland-native terminal scrolling text (or nothing on a still desktop), then the
# recording, timed. The session's monitor has the size recorded.
term=""
if [ "$content" != still ]; then
  foot --window-size-pixels=900x600 sh -c '$scroll' >/dev/null 2>&1 &
  term=\$!
fi
sleep 1
TIMEFORMAT='%U %S'
{ time "$work/capture_record" portal $seconds $fps $width $height $pointer >"\$MIRELO_SESSION_DIR/out" 2>&1; } 2>"\$MIRELO_SESSION_DIR/time"
status=\$?
[ -n "\$term" ] && kill \$term 2>/dev/null
cat "\$MIRELO_SESSION_DIR/out"
echo "cpu: \$(awk 'NF == 2 { print \$1 + \$2 }' "\$MIRELO_SESSION_DIR/time") (user, system: \$(cat "\$MIRELO_SESSION_DIR/time"))"
exit \$status
INSIDE
chmod 755 "$work/inside.sh"
status=0
for desktop in $desktops; do
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  if MIRELO_SESSION_MONITOR="${width}x${height}" "$root/tests/wayland/wayland-session.sh" \
    --desktop "$desktop" "$work/inside.sh" >"$work/portal-$desktop.out" 2>"$work/portal-$desktop.err"; then
    echo "== portal capture on $desktop (load before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg))" >&2
    cat "$work/portal-$desktop.out" >&2
  else
    echo "== portal capture on $desktop failed" >&2
    cat "$work/portal-$desktop.out" "$work/portal-$desktop.err" >&2
    status=1
  fi
done

# ffmpeg's x11grab on an X server of the same size, the same text scrolling in xterm.
Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=":$(tr -d '[:space:]' <"$work/display")"
term=""
if [ "$content" != still ]; then
  DISPLAY="$display" xterm -geometry 100x40+100+50 -e bash -c "$scroll" >/dev/null 2>&1 &
  term=$!
fi
sleep 1
TIMEFORMAT='%U %S'
{ time ffmpeg -hide_banner -nostdin -loglevel info -f x11grab -draw_mouse "$([ -n "$pointer" ] && echo 0 || echo 1)" -framerate "$fps" \
    -video_size "${width}x${height}" -i "$display+0,0" -t "$seconds" -fps_mode passthrough \
    -f null - >"$work/ffmpeg.out" 2>&1; } 2>"$work/ffmpeg.time"
[ -n "$term" ] && { kill "$term" 2>/dev/null || true; }
ffmpeg_cpu=$(awk 'NF == 2 { printf "%.3f", $1 + $2 }' "$work/ffmpeg.time")

echo "ffmpeg x11grab cpu ${ffmpeg_cpu} s, frames $(grep -o 'frame= *[0-9]*' "$work/ffmpeg.out" | tail -1 | tr -dc '0-9')" >&2
# A desktop that failed prints its figures as misses.
for desktop in $desktops; do
  out="$work/portal-$desktop.out"
  name="$suffix"
  [ "$desktop" = sway ] || name="${suffix}_$desktop"
  delivered=$(awk '/^delivered:/ { print $2 }' "$out")
  requested=$(awk '/^requested:/ { print $2 }' "$out")
  cpu=$(awk '/^cpu:/ { print $2 }' "$out")
  awk -v f="${delivered:-0}" -v e="${requested:-0}" -v n="$name" 'BEGIN {
    share = e > 0 ? 100 * f / e : 0
    printf "capture_frames_delivered_portal_%s: %.1f %% (target: >= 99) %s\n", n, share, (share >= 99) ? "ok" : "MISS" }'
  awk -v m="${cpu:-0}" -v f="$ffmpeg_cpu" -v n="$name" 'BEGIN {
    ratio = f > 0 ? m / f : 0
    printf "capture_cpu_portal_vs_x11grab_%s: %.2f x (target: <= 2) %s\n", n, ratio, (ratio > 0 && ratio <= 2) ? "ok" : "MISS" }'
done
exit $status
