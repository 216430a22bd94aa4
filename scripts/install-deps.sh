#!/usr/bin/env bash
# Installs every Debian 12 package Mirelo needs to build, run, test and benchmark.
# Does nothing when all of them are present; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-l10n-tools qt6-tools-dev
  qt6-translations-l10n
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-damage0-dev libxcb-shape0-dev libxcb-randr0-dev
  libxcb-ewmh-dev libxcb-icccm4-dev libxcb-cursor0
  libxcb-xinput-dev libxcb-composite0-dev libxcb-xtest0-dev libxkbcommon-dev libxkbcommon-x11-dev
  libgif-dev libwebp-dev libzstd-dev zlib1g-dev libdeflate-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk fonts-dejavu-core
  xvfb xauth openbox xdotool x11-utils x11-apps xterm imagemagick
  ffmpeg webp gifsicle
  librsvg2-bin dpkg-dev desktop-file-utils appstream man-db
  libpipewire-0.3-dev libspa-0.2-dev
  # the headless Wayland desktop of the tests (tests/wayland/wayland-session.sh)
  sway swaybg xwayland pipewire pipewire-bin wireplumber xdg-desktop-portal xdg-desktop-portal-wlr
  dbus-daemon dbus-bin libglib2.0-bin foot grim
  # the headless GNOME desktop of the same tests, and what answers its portal dialog
  gnome-shell xdg-desktop-portal-gnome dconf-service dconf-gsettings-backend gsettings-desktop-schemas
  at-spi2-core python3-gi gir1.2-glib-2.0 gir1.2-atspi-2.0
  # to build the patched portal backend (scripts/build-portal-backend.sh)
  patch meson libdrm-dev libinih-dev libgbm-dev libwayland-dev wayland-protocols libsystemd-dev
  clang libclang-rt-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The screen-cast portal backend the Wayland tests run (built once, from Debian's source).
portal_backend=/usr/local/libexec/mirelo/xdg-desktop-portal-wlr
if [ ! -x "$portal_backend" ]; then
  $SUDO env MIRELO_PORTAL_BACKEND="$portal_backend" "$(dirname "$0")/build-portal-backend.sh"
fi
