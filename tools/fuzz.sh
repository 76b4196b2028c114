#!/bin/sh
# Builds every fuzz target with clang and libFuzzer (in build-fuzz) and runs each for the given
# number of seconds (default 60). Each run starts from the committed corpus refreshed with the
# writers' seeds; inputs that reach new code are merged back into the committed corpus, so
# commit what it adds. A crash leaves its input under build-fuzz/fuzz-work/<target>/ and makes
# the script fail.
#   tools/fuzz.sh [seconds] [target-name-pattern]
set -eu
seconds=${1:-60}
pattern=${2:-}
cd "$(dirname "$0")/.."
build=${METROFARE_FUZZ_BUILD:-build-fuzz}

mkdir -p "$build"
launcher=""
if command -v ccache >/dev/null 2>&1; then
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $launcher \
  -DMETROFARE_FUZZ=ON -DMETROFARE_SANITIZE=ON -DMETROFARE_BENCH=OFF >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target fuzzers

failed=""
ran=0
while IFS='|' read -r name fuzzer corpus seeds maxlen; do
  [ -n "$name" ] || continue
  case "$name" in *"$pattern"*) ;; *) continue ;; esac
  work="$build/fuzz-work/$name"
  rm -rf "$work"
  mkdir -p "$work/found" "$corpus"
  if [ "$seeds" != "-" ]; then "$seeds" "$corpus"; fi
  lenflag=""
  if [ "$maxlen" != 0 ]; then lenflag="-max_len=$maxlen"; fi
  before=$(ls "$corpus" | wc -l)
  echo "fuzz.sh: $name for ${seconds}s (corpus $corpus, $before inputs)"
  # shellcheck disable=SC2086
  if ASAN_OPTIONS="allocator_may_return_null=1:${ASAN_OPTIONS:-}" \
     "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 $lenflag \
       -artifact_prefix="$work/" "$work/found" "$corpus" >"$work/log" 2>&1; then
    # Keep only the inputs that add coverage to the committed corpus.
    # shellcheck disable=SC2086
    "$fuzzer" -merge=1 $lenflag "$corpus" "$work/found" >>"$work/log" 2>&1
    echo "fuzz.sh: $name ok, corpus $before -> $(ls "$corpus" | wc -l) inputs"
  else
    echo "fuzz.sh: $name FAILED; log $work/log"
    grep -E 'ERROR|SUMMARY|Test unit written|artifact' "$work/log" | head -20
    failed="$failed $name"
  fi
  ran=$((ran + 1))
done <"$build/fuzzers.txt"

if [ "$ran" = 0 ]; then echo "fuzz.sh: no fuzz target matches '$pattern'"; exit 1; fi
if [ -n "$failed" ]; then echo "fuzz.sh: failures:$failed"; exit 1; fi
echo "fuzz.sh: $ran targets ran clean"
