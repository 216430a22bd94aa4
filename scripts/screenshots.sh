#!/usr/bin/env bash
# Takes the README's screenshots on a private X server with a window manager,
# in each language: docs/recorder.png, docs/editor.png and docs/save-dialog.png
# in Chinese, and the same names with -en in English. Needs a built tree
# (build/, or BUILD=dir) and Xvfb, openbox, xdotool and ImageMagick.
#
#   scripts/screenshots.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
out="$root/docs"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to the pipe.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$work/display" &
pids+=($!)
read -r number <"$work/display"
export DISPLAY=":$number"
openbox --sm-disable &
pids+=($!)
sleep 1
export QT_QPA_PLATFORM=xcb XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/out"

window_of() {  # pid name: the first visible window of the program with that name
  local id=""
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -1 || true)"
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

shoot() {  # window file
  sleep 1
  import -window "$1" -frame "$2"
}

for lang in zh_CN en; do
  suffix=""
  [ "$lang" = en ] && suffix="-en"
  export MIRELO_LANG="$lang"

  # The recorder window.
  "$build/src/app/mirelo" &
  app=$!
  pids+=($app)
  recorder="$(window_of "$app" Mirelo)"
  xdotool windowmove "$recorder" 60 60
  shoot "$recorder" "$out/recorder$suffix.png"
  kill "$app"
  wait "$app" 2>/dev/null || true

  # The editor, with a text and an arrow, and its save dialog.
  "$build/tools/mirelo-editor-demo" --frames 24 --size 640x360 --out "$work/out" &
  demo=$!
  pids+=($demo)
  editor="$(window_of "$demo" Mirelo)"
  xdotool windowmove "$editor" 40 40 windowactivate --sync "$editor"
  shoot "$editor" "$out/editor$suffix.png"
  xdotool key --window "$editor" ctrl+s
  sleep 2
  dialog="$(xdotool getactivewindow)"
  shoot "$dialog" "$out/save-dialog$suffix.png"
  kill "$demo"
  wait "$demo" 2>/dev/null || true
done
ls -l "$out"/*.png
