#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for the
# given seconds (default 60) from the seeds in fuzz/corpus. New inputs go to
# build-fuzz/corpus, crashing ones to build-fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

# clang and its fuzzer runtime, when missing.
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, long) { return 0; }' \
    | clang++ -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  $sudo apt-get install -y clang libclang-rt-14-dev
fi

cmake --preset fuzz
cmake --build --preset fuzz

mkdir -p build-fuzz/crashes
for name in ini listing; do
  mkdir -p "build-fuzz/corpus/$name"
  "build-fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -artifact_prefix=build-fuzz/crashes/ \
    "build-fuzz/corpus/$name" "fuzz/corpus/$name"
done
