#!/usr/bin/env bash
# Builds the screen-cast portal backend the Wayland tests run: Debian 12's
# xdg-desktop-portal-wlr 0.7.0 from its source package, with a three-line patch
# (tests/wayland/xdpw-shm-fallback.patch) that lets it cast from a compositor
# without a GPU (the stock build refuses when no DMA-BUF format is offered).
# Installs it as $MIRELO_PORTAL_BACKEND (below); does nothing when it is there.
# Run as root (install-deps.sh calls it through sudo when needed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${MIRELO_PORTAL_BACKEND:-/usr/local/libexec/mirelo/xdg-desktop-portal-wlr}"
[ -x "$target" ] && exit 0

export DEBIAN_FRONTEND=noninteractive
# 'apt-get source' needs a deb-src entry: copy the system's own entry for the
# main archive (not the security one).
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  entry=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    entry=$(awk 'BEGIN { RS = ""; ORS = "\n" }
                 /Types: deb/ && /Suites:[^\n]*bookworm( |$|\n)/ && !/security/ {
                   sub(/Types: deb/, "Types: deb-src"); print; exit }' "$f")
    [ -n "$entry" ] && break
  done
  if [ -z "$entry" ] && [ -f /etc/apt/sources.list ]; then
    line=$(grep -m1 -E '^deb [^ ]+ bookworm main' /etc/apt/sources.list || true)
    [ -n "$line" ] && entry="${line/#deb /deb-src }"
  fi
  [ -n "$entry" ] || { echo "build-portal-backend: no Debian bookworm source entry to copy" >&2; exit 1; }
  case "$entry" in
    deb-src*) echo "$entry" >/etc/apt/sources.list.d/mirelo-portal-src.list ;;
    *) printf '%s\n' "$entry" >/etc/apt/sources.list.d/mirelo-portal-src.sources ;;
  esac
  apt-get update -qq
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source -qq xdg-desktop-portal-wlr=0.7.0-1 >/dev/null 2>&1 ||
  { echo "build-portal-backend: apt-get source xdg-desktop-portal-wlr=0.7.0-1 failed" >&2; exit 1; }
cd xdg-desktop-portal-wlr-0.7.0
patch -p1 -s <"$root/tests/wayland/xdpw-shm-fallback.patch"
meson setup build -Dman-pages=disabled >/dev/null
ninja -C build >/dev/null
install -D -m 755 build/xdg-desktop-portal-wlr "$target"
echo "build-portal-backend: installed $target" >&2
