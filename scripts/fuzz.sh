#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan + libFuzzer) into
# build-fuzz/ and runs them.
#
#   scripts/fuzz.sh TARGET|all SECONDS [libFuzzer options...]
#
# TARGET is a name under fuzz/corpus/ (update_feed, sticker, ...). Each target
# starts from its seed corpus in fuzz/corpus/TARGET/; what it finds new goes to
# build-fuzz/corpus/TARGET/, and a crashing input to build-fuzz/crashes/TARGET/
# (the script then fails and prints how to replay it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${MIRELO_FUZZ_BUILD:-$root/build-fuzz}"
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET|all SECONDS [libFuzzer options...]" >&2
  exit 2
fi
which="$1"
seconds="$2"
shift 2

targets=()
if [ "$which" = all ]; then
  for dir in "$root"/fuzz/corpus/*/; do
    targets+=("$(basename "$dir")")
  done
else
  targets=("$which")
fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMIRELO_FUZZ=ON -DMIRELO_SANITIZE=address,undefined \
  -DMIRELO_BUILD_TESTS=OFF -DMIRELO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
# ASan keeps freed memory in quarantine to catch late uses. A decoder that
# reserves hundreds of megabytes for a broken chunk, again and again, would
# then grow past libFuzzer's memory limit with almost nothing alive: keep the
# quarantine small.
export ASAN_OPTIONS="quarantine_size_mb=64${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# The system libraries' allocations kept until exit (see the file).
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  crashes="$build/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$crashes/" "$@" "$corpus" "$root/fuzz/corpus/$target" \
      >"$build/fuzz-$target.log" 2>&1; then
    status=1
    tail -n 60 "$build/fuzz-$target.log" >&2
    echo "fuzz_$target failed; replay with: $build/fuzz/fuzz_$target $crashes/<file>" >&2
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' \
      "$build/fuzz-$target.log" | sed "s/^/  /"
  fi
done
exit $status
