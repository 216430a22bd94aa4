#!/usr/bin/env bash
# Builds Mirelo and runs every test. Tests that need a display start their own
# Xvfb; nothing here needs one. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
cd "$root/build"
# A test that fails is run once more before it counts as failed: the X11
# tests drive a real X server and, rarely, lose a race on a loaded machine.
ctest --output-on-failure --timeout 900 -j2 --repeat until-pass:2 "$@"
