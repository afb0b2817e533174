#!/usr/bin/env bash
# Remakes the pictures of KELDAR's windows in docs/ from the built program:
# the four pages, About, File Generation and the continue dialog.
# Builds nothing: configure with -DKELDAR_BENCH=ON and build the target
# keldar-pageshots first.  Needs no display; the windows are drawn off screen
# with the fonts the program uses.
# Usage: tools/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shots=$build/bin/keldar-pageshots
[ -x "$shots" ] || { echo "missing $shots: run 'cmake -S . -B $build -DKELDAR_BENCH=ON && cmake --build $build --target keldar-pageshots'" >&2; exit 1; }
QT_QPA_PLATFORM=offscreen "$shots" docs
