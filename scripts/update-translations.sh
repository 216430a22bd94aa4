#!/usr/bin/env bash
# Brings the translation catalogues in translations/ up to date with the
# texts in the code: every tr() / translate() / QT_TR_NOOP text of the
# folders below. New texts arrive unfinished (to be translated with Qt
# Linguist, `linguist translations/mirelo_en.ts`, or in the file itself);
# texts gone from the code are dropped.
#
#   scripts/update-translations.sh           update translations/*.ts in place
#   scripts/update-translations.sh --check   change nothing; fail when an entry
#                                            is unfinished, missing or obsolete
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

lupdate=/usr/lib/qt6/bin/lupdate
[ -x "$lupdate" ] || lupdate="$(command -v lupdate)"
sources=(src/i18n src/ui src/app src/platform tools)
catalogues=(translations/mirelo_en.ts)

run_lupdate() {  # ts-file [extra options]
  local ts="$1"
  shift
  "$lupdate" -silent -locations none -source-language zh_CN -target-language en \
    -extensions cpp,h -I src "$@" "${sources[@]}" -ts "$ts" 2> >(grep -v 'Ignoring definition of undeclared' >&2)
}

if [ "${1:-}" != "--check" ]; then
  for ts in "${catalogues[@]}"; do
    run_lupdate "$ts" -no-obsolete
    echo "$ts: $(grep -c '<message' "$ts") texts, $(grep -c 'type="unfinished"' "$ts" || true) unfinished"
  done
  exit 0
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failed=0
for ts in "${catalogues[@]}"; do
  copy="$scratch/$(basename "$ts")"
  cp "$ts" "$copy"
  # Without -no-obsolete: a text gone from the code stays, marked vanished.
  run_lupdate "$copy"
  if grep -q 'type="unfinished"' "$copy"; then
    echo "$ts: texts without a translation (new in the code, or unfinished):" >&2
    grep -B3 'type="unfinished"' "$copy" | grep '<source>' | sed 's/^ */  /' >&2
    failed=1
  fi
  if grep -qE 'type="(vanished|obsolete)"' "$copy"; then
    echo "$ts: translations of texts no longer in the code:" >&2
    grep -B3 -E 'type="(vanished|obsolete)"' "$copy" | grep '<source>' | sed 's/^ */  /' >&2
    failed=1
  fi
  if ! cmp -s "$ts" "$copy"; then
    echo "$ts: not as lupdate writes it; run scripts/update-translations.sh" >&2
    diff -u "$ts" "$copy" | head -40 >&2 || true
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "Run scripts/update-translations.sh and translate the texts listed above." >&2
  exit 1
fi
echo "translations complete"
