#!/usr/bin/env bash
# Installs the packages, configures and builds Mirelo into ./build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
# MIRELO_CMAKE_ARGS adds options (CI: -DMIRELO_WERROR=ON -DMIRELO_BUILD_BENCH=ON).
# shellcheck disable=SC2086
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${MIRELO_CMAKE_ARGS:-} >/dev/null
cmake --build "$root/build"
