#!/usr/bin/env bash
# Runs one command inside a throw-away headless Wayland desktop and returns its
# exit status. The desktop is one of
#   sway   (default) headless output 1280x720, pixman renderer, with the
#          patched wlroots screen-cast portal backend
#   gnome  GNOME Shell --headless with a 1280x720 virtual monitor and
#          xdg-desktop-portal-gnome; its monitor's scale is set with
#          gnome/monitor-scale.py (in $MIRELO_SESSION_DIR), fractional scales
#          included; its pointer is moved through the test extension
# each with XWayland, PipeWire, WirePlumber and xdg-desktop-portal, all inside
# one private dbus-run-session with private XDG folders, torn down by process
# id in reverse order when the command ends.
#
#   usage: wayland-session.sh [--desktop sway|gnome] PROGRAM [ARGS...]
#
# sway refuses to run as root and XWayland refuses X clients of another user,
# so when run as root the whole session, PROGRAM included, runs as the
# unprivileged user $MIRELO_TEST_USER (created when missing). PROGRAM is
# copied into the session's folder when that user cannot read it where it is.
#
# PROGRAM sees WAYLAND_DISPLAY, DISPLAY (XWayland), SWAYSOCK,
# DBUS_SESSION_BUS_ADDRESS, XDG_* and:
#   MIRELO_SESSION_DIR        scratch folder of the session (writable)
#   MIRELO_SESSION_CHOOSER    folder of the portal's output chooser: it appends
#                             a line to chooser.log each time it is asked, and
#                             answers "cancelled" while a file "refuse" exists
#                             (under GNOME the chooser is the desktop's own
#                             dialog, answered by gnome/answer-dialog.py through
#                             the accessibility interface, as assistive
#                             technology presses its buttons)
#   MIRELO_SESSION_DESKTOP    sway or gnome
#   MIRELO_SESSION_PIPEWIRE_PID, MIRELO_SESSION_PORTAL_BACKEND_PID,
#   MIRELO_SESSION_PORTAL_PID, MIRELO_SESSION_COMPOSITOR_PID
#
# A missing part of the stack is an error (exit 125) naming what is missing;
# scripts/install-deps.sh installs all of it.
# Environment: MIRELO_PORTAL_BACKEND (the patched portal backend binary),
# MIRELO_TEST_USER (default mirelo-test), MIRELO_SESSION_KEEP=1 keeps the logs,
# MIRELO_SESSION_MONITOR=WxH another size of the first monitor (in pixels).
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
backend="${MIRELO_PORTAL_BACKEND:-/usr/local/libexec/mirelo/xdg-desktop-portal-wlr}"
frontend=/usr/libexec/xdg-desktop-portal

if [ "${1:-}" = "--inner" ]; then
  shift
  # ---- inside dbus-run-session, as the session's user ----
  log="$MIRELO_SESSION_DIR/log"
  export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
  export XDG_SESSION_TYPE=wayland
  unset DISPLAY WAYLAND_DISPLAY
  pids=()
  teardown() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
      kill "${pids[i]}" 2>/dev/null
      wait "${pids[i]}" 2>/dev/null
    done
  }
  trap teardown EXIT
  fail() {
    echo "wayland session: $*" >&2
    for f in "$log"/*.log; do
      [ -s "$f" ] && { echo "== $(basename "$f")" >&2; tail -n 15 "$f" >&2; }
    done
    exit 125
  }
  # wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
  wait_for() {
    local tries=$(($1 * 20)) what="$2"
    shift 2
    until "$@" >/dev/null 2>&1; do
      tries=$((tries - 1))
      [ "$tries" -gt 0 ] || fail "timed out waiting for $what"
      sleep 0.05
    done
  }
  socket_in_runtime() { ls "$XDG_RUNTIME_DIR" | grep -qE "^$1\$"; }

  # PipeWire and its session manager (without one a stream stays paused and
  # no frame arrives).
  start_pipewire() {
    pipewire >"$log/pipewire.log" 2>&1 &
    pids+=($!)
    export MIRELO_SESSION_PIPEWIRE_PID=$!
    wait_for 10 "PipeWire's socket" test -S "$XDG_RUNTIME_DIR/pipewire-0"
    wireplumber >"$log/wireplumber.log" 2>&1 &
    pids+=($!)
  }

  # The desktop's portal backend (on the bus as NAME), then xdg-desktop-portal:
  # the backend must be there first, since the portal reads its source types
  # once, at its start.
  start_portal() {  # NAME COMMAND...
    local name="$1"
    shift
    "$@" >"$log/portal-backend.log" 2>&1 &
    pids+=($!)
    export MIRELO_SESSION_PORTAL_BACKEND_PID=$!
    wait_for 20 "the portal backend on the bus" gdbus wait --session --timeout 1 "$name"
    "$frontend" -r >"$log/portal.log" 2>&1 &
    pids+=($!)
    export MIRELO_SESSION_PORTAL_PID=$!
    wait_for 20 "xdg-desktop-portal on the bus" \
      gdbus wait --session --timeout 1 org.freedesktop.portal.Desktop
  }

  start_sway() {
    export XDG_CURRENT_DESKTOP=sway
    sway -c "$MIRELO_SESSION_DIR/sway.config" >"$log/sway.log" 2>&1 &
    pids+=($!)
    export MIRELO_SESSION_COMPOSITOR_PID=$!
    wait_for 10 "the compositor's Wayland socket" socket_in_runtime 'wayland-[0-9]+'
    export WAYLAND_DISPLAY="$(ls "$XDG_RUNTIME_DIR" | grep -E '^wayland-[0-9]+$' | head -n 1)"
    wait_for 10 "the compositor's IPC socket" sh -c 'ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock'
    export SWAYSOCK="$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)"
    if [ "$MIRELO_SESSION_MONITOR" != 1280x720 ]; then
      swaymsg output HEADLESS-1 mode "$MIRELO_SESSION_MONITOR@60Hz" >/dev/null ||
        fail "sway cannot set HEADLESS-1 to $MIRELO_SESSION_MONITOR"
    fi
    # XWayland's display is known only inside the compositor: ask it.
    swaymsg exec 'echo "$DISPLAY" > "$XDG_RUNTIME_DIR/xdisplay"' >/dev/null
    wait_for 10 "XWayland's display name" test -s "$XDG_RUNTIME_DIR/xdisplay"
    export DISPLAY="$(cat "$XDG_RUNTIME_DIR/xdisplay")"

    start_pipewire

    dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY SWAYSOCK XDG_CURRENT_DESKTOP \
      XDG_SESSION_TYPE >/dev/null 2>&1 || fail "dbus-update-activation-environment failed"
    start_portal org.freedesktop.impl.portal.desktop.wlr env XDPW_PERSIST_MODE=permanent \
      "$backend" -r -l INFO -c "$MIRELO_SESSION_DIR/portal-backend.config"
  }

  # GNOME Shell asks the system bus for the login manager at its start: it gets
  # a private one with nothing on it.
  start_gnome() {
    export XDG_CURRENT_DESKTOP=GNOME
    dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/system_bus" --nofork \
      >"$log/system-bus.log" 2>&1 &
    pids+=($!)
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
    wait_for 10 "the private system bus" test -S "$XDG_RUNTIME_DIR/system_bus"

    start_pipewire

    # A plain desktop of the sway session's colour, no banners over it, and the
    # test extension (no overview at start, no window shadows).
    local schema=org.gnome.desktop.background
    gsettings set $schema picture-uri ''
    gsettings set $schema picture-uri-dark ''
    gsettings set $schema color-shading-type solid
    gsettings set $schema primary-color '#336699'
    gsettings set org.gnome.desktop.notifications show-banners false
    gsettings set org.gnome.shell disable-user-extensions false
    gsettings set org.gnome.shell enabled-extensions "['mirelo-test@mirelo']"
    gsettings set org.gnome.desktop.interface enable-animations false
    # Fractional scales, offered by the logical layout only.
    gsettings set org.gnome.mutter experimental-features "['scale-monitor-framebuffer']"

    gnome-shell --headless --virtual-monitor "$MIRELO_SESSION_MONITOR" --wayland >"$log/compositor.log" 2>&1 &
    pids+=($!)
    export MIRELO_SESSION_COMPOSITOR_PID=$!
    wait_for 30 "GNOME Shell's XWayland display" grep -q 'Using public X11 display' "$log/compositor.log"
    wait_for 30 "GNOME Shell on the bus" gdbus wait --session --timeout 1 org.gnome.Shell
    wait_for 30 "GNOME Shell's screen-cast service" \
      gdbus wait --session --timeout 1 org.gnome.Mutter.ScreenCast
    export WAYLAND_DISPLAY=wayland-0
    export DISPLAY="$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$log/compositor.log" | head -n 1)"
    export XAUTHORITY="$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)"
    [ -n "$XAUTHORITY" ] || fail "GNOME Shell wrote no XWayland authority file"
    wait_for 30 "the test extension (gnome/extension.js)" test -e "$XDG_RUNTIME_DIR/mirelo-test-extension"

    dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XAUTHORITY XDG_CURRENT_DESKTOP \
      XDG_SESSION_TYPE >/dev/null 2>&1 || fail "dbus-update-activation-environment failed"
    start_portal org.freedesktop.impl.portal.desktop.gnome /usr/libexec/xdg-desktop-portal-gnome
    /usr/bin/python3 "$MIRELO_SESSION_DIR/answer-dialog.py" >"$log/answer-dialog.log" 2>&1 &
    pids+=($!)
    wait_for 10 "the dialog's answerer" test -e "$MIRELO_SESSION_CHOOSER/answerer-ready"
  }

  "start_$MIRELO_SESSION_DESKTOP"
  "$@"
  exit $?
fi

# ---- outside: check the stack, prepare the folders, enter the session ----
desktop=sway
if [ "${1:-}" = "--desktop" ]; then
  desktop="${2:-}"
  shift 2 || true
fi
missing=()
common_tools=(Xwayland pipewire wireplumber dbus-run-session dbus-daemon
  dbus-update-activation-environment gdbus)
case "$desktop" in
  sway)
    for tool in sway swaymsg "${common_tools[@]}"; do
      command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    [ -f /usr/share/xdg-desktop-portal/portals/wlr.portal ] ||
      missing+=("/usr/share/xdg-desktop-portal/portals/wlr.portal (package xdg-desktop-portal-wlr)")
    [ -x "$backend" ] || missing+=("the patched portal backend $backend (scripts/build-portal-backend.sh)")
    ;;
  gnome)
    for tool in gnome-shell gsettings "${common_tools[@]}"; do
      command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    [ -x /usr/libexec/xdg-desktop-portal-gnome ] ||
      missing+=("/usr/libexec/xdg-desktop-portal-gnome (package xdg-desktop-portal-gnome)")
    /usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null ||
      missing+=("Python's GObject bindings (packages python3-gi, gir1.2-glib-2.0)")
    ;;
  *)
    echo "wayland session: unknown desktop '$desktop' (sway or gnome)" >&2
    exit 2
    ;;
esac
[ -x "$frontend" ] || missing+=("$frontend (package xdg-desktop-portal)")
if [ "$(id -u)" = 0 ]; then
  for tool in runuser useradd; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "wayland session: missing: ${missing[*]}; run scripts/install-deps.sh" >&2
  exit 125
fi
[ $# -gt 0 ] || { echo "usage: $0 [--desktop sway|gnome] PROGRAM [ARGS...]" >&2; exit 2; }

dir="$(mktemp -d -t mirelo-wayland.XXXXXX)"
chmod 755 "$dir"
if [ "$(id -u)" = 0 ]; then
  user="${MIRELO_TEST_USER:-mirelo-test}"
  if ! id -u "$user" >/dev/null 2>&1; then
    useradd --system -M -d /nonexistent -s /usr/sbin/nologin "$user" 2>/dev/null ||
      id -u "$user" >/dev/null 2>&1 || { echo "wayland session: cannot create user $user" >&2; exit 125; }
  fi
  as_user=(runuser -u "$user" --)
else
  user="$(id -un)"
  as_user=()
fi
group="$(id -gn "$user")"
for d in run home config data log chooser bin; do
  install -d -m 700 -o "$user" -g "$group" "$dir/$d"
done
install -m 755 -o "$user" "$0" "$dir/wayland-session.sh"
install -m 644 -o "$user" "$here/sway.config" "$dir/sway.config"
install -m 755 -o "$user" "$here/chooser.sh" "$dir/chooser/chooser.sh"
if [ "$desktop" = gnome ]; then
  extension="$dir/data/gnome-shell/extensions/mirelo-test@mirelo"
  install -d -m 700 -o "$user" -g "$group" "$dir/data/gnome-shell" "$dir/data/gnome-shell/extensions" "$extension"
  install -m 644 -o "$user" "$here/gnome/metadata.json" "$here/gnome/extension.js" "$extension/"
  install -m 644 -o "$user" "$here/gnome/answer-dialog.py" "$here/gnome/monitor-scale.py" "$dir/"
fi
sed "s|@CHOOSER@|$dir/chooser/chooser.sh|" "$here/portal-backend.config" >"$dir/portal-backend.config"
chown "$user" "$dir" "$dir/portal-backend.config"

program="$1"
shift
case "$program" in
  */*) ;;
  *) program="$(command -v "$program")" || { echo "wayland session: no program $1" >&2; exit 2; } ;;
esac
if ! "${as_user[@]}" test -x "$program" 2>/dev/null || ! "${as_user[@]}" test -r "$program" 2>/dev/null; then
  install -m 755 -o "$user" "$program" "$dir/bin/$(basename "$program")"
  program="$dir/bin/$(basename "$program")"
fi

"${as_user[@]}" env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" \
  XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/home/.cache" XDG_STATE_HOME="$dir/home/.state" \
  MIRELO_SESSION_DIR="$dir" MIRELO_SESSION_CHOOSER="$dir/chooser" MIRELO_PORTAL_BACKEND="$backend" \
  MIRELO_SESSION_DESKTOP="$desktop" MIRELO_SESSION_MONITOR="${MIRELO_SESSION_MONITOR:-1280x720}" \
  ${GTEST_COLOR:+GTEST_COLOR=$GTEST_COLOR} \
  ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} \
  ${LSAN_OPTIONS:+LSAN_OPTIONS=$LSAN_OPTIONS} \
  ${MIRELO_TEST_WAIT_SCALE:+MIRELO_TEST_WAIT_SCALE=$MIRELO_TEST_WAIT_SCALE} \
  dbus-run-session -- "$dir/wayland-session.sh" --inner "$program" "$@"
status=$?
if [ "${MIRELO_SESSION_KEEP:-0}" = 1 ]; then
  echo "wayland session: logs kept in $dir/log" >&2
else
  if [ $status -ne 0 ]; then
    for f in "$dir"/log/*.log; do
      [ -s "$f" ] && { echo "== $(basename "$f") (last lines)" >&2; tail -n 8 "$f" >&2; }
    done
  fi
  rm -rf "$dir"
fi
exit $status
