#!/usr/bin/env bash
# Builds Mirelo into ./build (as scripts/build.sh does) and its Debian package
# into ./build/package; prints the package's path.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" >&2
rm -f "$root"/build/package/mirelo_*.deb
(cd "$root/build" && cpack -G DEB >&2)
ls "$root"/build/package/mirelo_*.deb
