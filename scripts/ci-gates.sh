#!/usr/bin/env bash
# The checks CI runs besides the test suite. Each stage runs on its own:
#
#   scripts/ci-gates.sh STAGE...    (format, layers, texts, translations, werror,
#                                    sanitize, fuzz; none = all)
#
#   format    clang-format --dry-run --Werror over every tracked C++ file
#   layers    no include points up the layer table, no Qt Widgets below src/ui
#   texts     no user-visible text in the model layers: a string literal with
#             non-ASCII characters in src/image, overlay, editor, export or
#             capture (outside comments) fails
#   translations  every text of the code translated in translations/*.ts, and
#             nothing there that the code no longer has
#   werror    gcc build of everything (tests, tools, benchmarks) with -Werror,
#             into build-werror/
#   sanitize  ASan + UBSan build into build-asan/ and the whole suite under it
#   fuzz      every fuzz target for MIRELO_FUZZ_SECONDS (30) on its seed corpus,
#             with the mutations seeded by MIRELO_FUZZ_SEED (1), so that a
#             failure here is found again by the same command
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

stage_format() {
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
}

stage_layers() {
  "$root/scripts/check-layers.sh"
}

stage_texts() {
  python3 "$root/scripts/check-model-texts.py" src/image src/overlay src/editor src/export src/capture src/import
}

stage_translations() {
  "$root/scripts/update-translations.sh" --check
}

stage_werror() {
  cmake -S . -B build-werror -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMIRELO_WERROR=ON -DMIRELO_BUILD_BENCH=ON >/dev/null
  cmake --build build-werror
}

stage_sanitize() {
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMIRELO_SANITIZE=address,undefined >/dev/null
  cmake --build build-asan
  # Findings end the test at once, with a stack. LSan reads its suppressions
  # for leaks of the system libraries the tests load (see the file).
  ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
    MIRELO_TEST_WAIT_SCALE=10 ctest --test-dir build-asan --output-on-failure --timeout 900 -j"$jobs"
}

stage_fuzz() {
  # Open-ended searching (scripts/fuzz.sh without a seed, for minutes) is
  # done by hand, and what it finds joins the seed corpus with its fix. Here
  # every run tries the same sequence of inputs, as far as the time allows.
  "$root/scripts/fuzz.sh" all "${MIRELO_FUZZ_SECONDS:-30}" -seed="${MIRELO_FUZZ_SEED:-1}"
}

stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then
  stages=(format layers texts translations werror sanitize fuzz)
fi
for stage in "${stages[@]}"; do
  if ! declare -F "stage_$stage" >/dev/null; then
    echo "unknown stage: $stage" >&2
    exit 2
  fi
  start=$SECONDS
  echo "== $stage"
  "stage_$stage"
  echo "== $stage passed in $((SECONDS - start)) s"
done
