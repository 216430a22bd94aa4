#!/usr/bin/env bash
# Checks Mirelo as a user installs it: the install tree (DESTDIR), its desktop
# entry and metadata, the Debian package's contents and Depends; then installs
# the package with apt-get, runs both programs from the PATH, starts mirelo
# under Xvfb with openbox and finds its window, and removes the package,
# checking that nothing of it is left. Runs as root (or through sudo), and
# may be run again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
app_id=io.github.mirelo.Mirelo
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package-test: FAIL: $*" >&2; exit 1; }
step() { echo "package-test: $*" >&2; }

deb="$("$root/scripts/package.sh")"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
[ "$(basename "$deb")" = "mirelo_${version}_${arch}.deb" ] || fail "package named $deb"

step "install tree"
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
(cd "$work/stage" && find . ! -type d | sort) >"$work/staged"
{
  echo ./usr/bin/mirelo
  echo ./usr/bin/mirelo-convert
  echo ./usr/share/applications/$app_id.desktop
  echo ./usr/share/metainfo/$app_id.metainfo.xml
  echo ./usr/share/man/man1/mirelo.1.gz
  echo ./usr/share/man/man1/mirelo-convert.1.gz
  echo ./usr/share/man/zh_CN/man1/mirelo.1.gz
  echo ./usr/share/man/zh_CN/man1/mirelo-convert.1.gz
  echo ./usr/share/icons/hicolor/scalable/apps/$app_id.svg
  for s in 16 22 24 32 48 64 128 256; do echo ./usr/share/icons/hicolor/${s}x$s/apps/$app_id.png; done
  for state in idle recording; do
    echo ./usr/share/icons/hicolor/scalable/status/$app_id-$state.svg
    for s in 16 22 24 32 48; do echo ./usr/share/icons/hicolor/${s}x$s/status/$app_id-$state.png; done
  done
} | sort >"$work/expected"
diff -u "$work/expected" "$work/staged" || fail "installed files differ from the expected tree"
for png in $(grep '\.png$' "$work/staged"); do
  size="$(basename "$(dirname "$(dirname "$png")")")"
  [ "$(identify -format '%wx%h' "$work/stage/$png")" = "$size" ] || fail "$png is not $size"
done
desktop-file-validate "$work/stage/usr/share/applications/$app_id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/stage/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  fail "metainfo: $(appstreamcli validate --no-net "$work/stage/usr/share/metainfo/$app_id.metainfo.xml")"
for page in man1/mirelo man1/mirelo-convert zh_CN/man1/mirelo zh_CN/man1/mirelo-convert; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/stage/usr/share/man/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done

step "package $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = mirelo ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "architecture"
dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | sort >"$work/packaged"
diff -u "$work/expected" "$work/packaged" || fail "the package's files differ from the install tree"
depends="$(dpkg-deb -f "$deb" Depends)"
step "Depends: $depends"
depends_names="$(sed 's/ ([^)]*)//g; s/, /\n/g' <<<"$depends")"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6 \
  libxcb1 libxcb-shm0 libxcb-xfixes0 libxcb-damage0 libxcb-shape0 libxcb-randr0 \
  libwebp7 libwebpmux3 libavcodec59 libavformat59 libavutil57 libswscale6 libdeflate0; do
  grep -qxF "$lib" <<<"$depends_names" || fail "Depends lacks $lib"
done
if grep -q -- '-dev$' <<<"$depends_names"; then fail "Depends names a development package"; fi
dpkg-deb -x "$deb" "$work/unpacked"
for program in mirelo mirelo-convert; do
  if readelf -d "$work/unpacked/usr/bin/$program" | grep -Eq 'RPATH|RUNPATH'; then
    fail "$program has a library search path"
  fi
done
if grep -rlF "$root" "$work/unpacked"; then fail "packaged files name the source folder"; fi

step "apt-get install"
if [[ "$(dpkg-query -W -f='${Status}' mirelo 2>/dev/null || true)" == *"ok installed" ]]; then
  $SUDO apt-get purge -y -qq mirelo >/dev/null
fi
$SUDO apt-get install -y -qq "$deb" >/dev/null
# From here on nothing of the build or source folder is used.
run() { (cd / && exec env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" "$@"); }
mkdir -p "$work/home"
[ "$(run sh -c 'command -v mirelo')" = /usr/bin/mirelo ] || fail "mirelo is not on the PATH"
[ "$(run mirelo --version)" = "mirelo $version" ] || fail "mirelo --version: $(run mirelo --version)"
[ "$(run mirelo-convert --version)" = "mirelo-convert $version" ] || fail "mirelo-convert --version"
mkdir -p "$work/frames"
for colour in red green blue; do convert -size 64x48 "xc:$colour" "$work/frames/$colour.png"; done
for format in gif webp mp4; do
  run mirelo-convert --quiet --fps 10 "$work/frames" "$work/out.$format" || fail "mirelo-convert to $format"
done
[ "$(head -c 6 "$work/out.gif")" = GIF89a ] || fail "not a GIF"
[ "$(head -c 4 "$work/out.webp")" = RIFF ] || fail "not a WebP"
[ "$(tail -c +5 "$work/out.mp4" | head -c 4)" = ftyp ] || fail "not an MP4"

step "mirelo under Xvfb"
mkfifo "$work/display-fifo" "$work/wm-fifo"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display-fifo" 2>/dev/null &
pids+=($!)
read -r -t 60 display_number <"$work/display-fifo" || fail "Xvfb did not start"
display=":$display_number"
DISPLAY="$display" openbox --startup "sh -c 'echo ready > $work/wm-fifo'" >/dev/null 2>&1 &
pids+=($!)
read -r -t 60 _ <"$work/wm-fifo" || fail "openbox did not start"
run env DISPLAY="$display" XDG_CONFIG_HOME="$work/home/.config" mirelo >"$work/mirelo.log" 2>&1 &
mirelo_pid=$!
pids+=($mirelo_pid)
DISPLAY="$display" timeout 60 xdotool search --sync --onlyvisible --class Mirelo >"$work/windows" ||
  fail "no Mirelo window appeared: $(cat "$work/mirelo.log")"
window="$(head -n 1 "$work/windows")"
kill -0 "$mirelo_pid" || fail "mirelo exited: $(cat "$work/mirelo.log")"
wm_class="$(sed -n 's/^StartupWMClass=//p' /usr/share/applications/$app_id.desktop)"
# (Whole outputs are read first: with pipefail, a grep -q that stops reading
# early would fail the pipeline on the writer's SIGPIPE.)
class_line="$(DISPLAY="$display" xprop -id "$window" WM_CLASS)"
[[ "$class_line" == *", \"$wm_class\"" ]] || fail "window class $class_line is not $wm_class"
icon_line="$(DISPLAY="$display" xprop -id "$window" -len 8 _NET_WM_ICON)"
[[ "$icon_line" == *" = "* ]] || fail "the window has no icon: $icon_line"
DISPLAY="$display" import -window root "$build/package-test-screen.png" 2>/dev/null || true
kill "$mirelo_pid"
wait "$mirelo_pid" 2>/dev/null || true

step "apt-get purge"
$SUDO apt-get purge -y -qq mirelo >/dev/null
if [[ "$(dpkg-query -W -f='${Status}' mirelo 2>/dev/null || true)" == *" installed" ]]; then
  fail "still installed"
fi
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' >"$work/paths"
while read -r path; do
  [ "$path" = / ] && continue
  path="${path%/}"
  if [ -e "$path" ] || [ -L "$path" ]; then
    # A folder stays only when other packages own it too.
    if [ -d "$path" ] && dpkg-query -S "$path" >/dev/null 2>&1; then continue; fi
    fail "$path is left after removal"
  fi
done <"$work/paths"
step "ok"
