#!/usr/bin/env bash
# Builds Mirelo and starts it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
if [ ! -x "$root/build/src/app/mirelo" ]; then
  echo "Mirelo's application is not built yet: only its libraries, tools and tests exist so far." >&2
  exit 1
fi
exec "$root/build/src/app/mirelo" "$@"
