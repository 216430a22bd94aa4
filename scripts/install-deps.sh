#!/usr/bin/env bash
# Installs every Debian 12 package Mirelo needs to build, run, test and benchmark.
# Does nothing when all of them are present; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-damage0-dev libxcb-shape0-dev libxcb-randr0-dev
  libxcb-ewmh-dev libxcb-icccm4-dev libxcb-cursor0
  libgif-dev libwebp-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk fonts-dejavu-core
  xvfb xauth openbox xdotool x11-utils x11-apps xterm imagemagick
  ffmpeg webp
  clang libclang-rt-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
