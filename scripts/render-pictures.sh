#!/usr/bin/env bash
# Renders the README's pictures: docs/main-window.png (a technician picked
# and the server folder listed, against a local test server),
# docs/main-uploading.png (the same window during an upload) and
# docs/about-box.png, docs/backup-ready.png and docs/backup-done.png.
# Offscreen, so no display is needed.
#
#   scripts/render-pictures.sh [BUILD_DIR]     default: build
#   QT_SCALE_FACTOR=1.5 scripts/render-pictures.sh   renders as at 144 dpi
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  bash scripts/build.sh >/dev/null
fi
cmake --build "$build" --target render_pictures -j2 >/dev/null
# Without a font that fontconfig sees, every character renders as a box.
if ! fc-list 2>/dev/null | grep -qi dejavu; then
  bash scripts/install-deps.sh
fi
QT_QPA_PLATFORM=offscreen "$build/scripts/tools/render_pictures" docs
