#!/usr/bin/env bash
# Fails when an include points up the layer table, or when a layer below
# src/ui includes Qt Widgets. Each layer may include itself and the layers
# listed for it; src/app is the top and may include every layer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

declare -A allowed=(
  [image]="image"
  [overlay]="image overlay"
  [editor]="image overlay editor"
  [export]="image export"
  [capture]="image capture"
  [import]="image capture import"
  [platform]="image capture platform i18n"
  [i18n]="image overlay editor export capture i18n"
  [ui]="image overlay editor export capture import platform i18n ui"
  [app]="image overlay editor export capture import platform i18n ui app"
)
widgets_free="image overlay editor export capture import platform i18n"

qt_include="$(find /usr/include -maxdepth 3 -type d -name QtWidgets -path '*qt6*' 2>/dev/null | head -n 1)"
if [ -z "$qt_include" ]; then
  echo "check-layers: Qt 6's QtWidgets headers are not installed (scripts/install-deps.sh)" >&2
  exit 1
fi
mapfile -t widget_headers < <(find "$qt_include" -maxdepth 1 -type f -name 'Q*' ! -name '*.h' -printf '%f\n')

declare -A widget_set=()
for header in "${widget_headers[@]}"; do widget_set[$header]=1; done

failures=0
for dir in src/*/; do
  layer="$(basename "$dir")"
  if [ -z "${allowed[$layer]+x}" ]; then
    echo "check-layers: src/$layer is not in the layer table of $0" >&2
    failures=$((failures + 1))
    continue
  fi
  while IFS=: read -r file line text; do
    target="$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")"
    [ -d "src/$target" ] || continue
    if ! grep -qw "$target" <<<"${allowed[$layer]}"; then
      echo "$file:$line: src/$layer may not include src/$target" >&2
      failures=$((failures + 1))
    fi
  done < <(git ls-files -- "$dir" | grep -E '\.(cpp|h)$' | xargs -r grep -nH -E '^\s*#\s*include\s+"[^/"]+/' || true)

  if grep -qw "$layer" <<<"$widgets_free"; then
    hits="$(git ls-files -- "$dir" | grep -E '\.(cpp|h)$' |
      xargs -r grep -nH -E '^\s*#\s*include\s+<Q' |
      while IFS= read -r hit; do
        header="$(sed -E 's/.*#\s*include\s+<([^>]+)>.*/\1/' <<<"$hit")"
        case "$header" in
        QtWidgets | QtWidgets/*) echo "$hit" ;;
        *) [ -n "${widget_set[$header]+x}" ] && echo "$hit" ;;
        esac
      done || true)"
    if [ -n "$hits" ]; then
      echo "$hits" | sed "s/\$/  (Qt Widgets below src\/ui)/" >&2
      failures=$((failures + $(wc -l <<<"$hits")))
    fi
  fi
done

if [ "$failures" -gt 0 ]; then
  echo "check-layers: $failures include(s) break the layering" >&2
  exit 1
fi
echo "check-layers: every include keeps to the layer table"
