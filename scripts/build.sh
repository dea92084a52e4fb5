#!/usr/bin/env bash
# Installs what is missing, then configures and builds Tobra in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
