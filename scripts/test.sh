#!/usr/bin/env bash
# Builds Mirelo and runs every test. Tests that need a display start their own
# Xvfb; nothing here needs one. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
cd "$root/build"
# Every test runs once: a test that fails only sometimes is a fault to find.
ctest --output-on-failure --timeout 900 -j2 "$@"
