#!/usr/bin/env bash
# Builds the fuzz preset, runs the API fuzzer from its seed corpus for a fixed
# budget (default 120 s) and the defect-correction, firmware and HID report
# descriptor fuzzers briefly. Fails on any crash, leak, sanitizer report, time-out or excess of
# memory; the input that caused it is left in build/fuzz/artifacts/.
#
#   scripts/fuzz.sh [seconds]    fuzz for that long
#   scripts/fuzz.sh coverage     the seed corpus's line and branch coverage of
#                                the defect correction and the rewrite thread
#
# Inputs the API fuzzer finds are kept in build/fuzz/corpus/api, so that each
# run goes on from the last; the seeds in fuzz/corpus/api stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh clang libclang-rt-dev llvm

# Leaks are reported (the default); undefined behaviour stops the run (the
# build does not recover from it) with its stack.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

if [ "${1:-}" = coverage ]; then
  # A second build of the API fuzzer with source-based coverage, run once
  # over the seed corpus.
  build=build/fuzz-coverage
  flags="-fprofile-instr-generate -fcoverage-mapping"
  cmake --preset fuzz -B "$build" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags"
  cmake --build "$build" --target api_fuzz
  rm -f "$build"/api.profraw
  LLVM_PROFILE_FILE="$build/api.profraw" "$build/fuzz/api_fuzz" -runs=0 fuzz/corpus/api
  llvm-profdata merge -sparse -o "$build/api.profdata" "$build/api.profraw"
  files=(src/hid/defect_correction.cpp src/firmware/rewrite_thread.cpp)
  llvm-cov report "$build/fuzz/api_fuzz" -instr-profile="$build/api.profdata" "${files[@]}"
  llvm-cov show "$build/fuzz/api_fuzz" -instr-profile="$build/api.profdata" \
    -show-branches=count "${files[@]}"
  exit 0
fi

seconds="${1:-120}"
cmake --preset fuzz
cmake --build --preset fuzz

bin=build/fuzz/fuzz
artifacts=build/fuzz/artifacts
corpus=build/fuzz/corpus/api
mkdir -p "$artifacts" "$corpus"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"  # the API fuzzer's image files, even when a run is cut short

# One input may open cameras, rewrite firmware and wait out a rewrite for
# a few seconds; a minute is a hang.
"$bin/api_fuzz" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$artifacts/api-" "$corpus" fuzz/corpus/api

# Three small fuzzers share the 40 s the two of them had.
for fuzzer in defect_correction_fuzz firmware_fuzz hid_descriptor_fuzz; do
  mkdir -p "$scratch/$fuzzer"
  "$bin/$fuzzer" -max_total_time=13 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/${fuzzer%_fuzz}-" "$scratch/$fuzzer"
done
