#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan (preset
# asan, build-asan/) and runs the whole test suite under them. A leak, a
# memory error or undefined behaviour fails the test that shows it.
# Extra arguments go to ctest (scripts/test-asan.sh -R ftp).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan "$@"
