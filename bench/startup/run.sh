#!/usr/bin/env bash
# Start-up cost of keldar beside a bare Qt window, on a private Xvfb display.
# Builds nothing: build the targets keldar, startup-bare-window and
# keldar-startup-bench first.  Usage: bench/startup/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-15}
for p in keldar startup-bare-window keldar-startup-bench; do
  [ -x "$build/bin/$p" ] || { echo "missing $build/bin/$p: build it first" >&2; exit 1; }
done
command -v xvfb-run >/dev/null || { echo "needs xvfb-run (apt-get install xvfb xauth)" >&2; exit 1; }
# A scratch drive folder, so the run touches nothing of the user's.
drive=$(mktemp -d)
trap 'rm -rf "$drive"' EXIT
KELDAR_DRIVE_C=$drive xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/bin/keldar-startup-bench" --runs "$runs" \
  "$build/bin/startup-bare-window" "$build/bin/keldar"
