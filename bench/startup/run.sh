#!/usr/bin/env bash
# Start-up cost of keldar beside a bare Qt window, on a private Xvfb display.
# Builds nothing: configure with -DKELDAR_BENCH=ON and build the targets
# keldar, startup-bare-window and keldar-startup-bench first.  Usage: bench/startup/run.sh [BUILD_DIR] [RUNS]
#
# Both programs run on a session bus of their own, as in any desktop session,
# where dbus-run-session is installed.  Without one, each program's
# accessibility bridge starts a bus daemon through dbus-launch: the bare
# window once it is on the screen, keldar while it builds its controls (any
# text set on a control wakes the bridge), which would charge keldar alone
# for it.  KELDAR_BENCH_BUS=none measures that case.
#
# Further LABEL=PROGRAM arguments after RUNS (an earlier build, say) take
# their turns in the same run.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-15}
shift $(($# < 2 ? $# : 2))
for p in keldar startup-bare-window keldar-startup-bench; do
  [ -x "$build/bin/$p" ] || { echo "missing $build/bin/$p: configure with -DKELDAR_BENCH=ON and build it first" >&2; exit 1; }
done
command -v xvfb-run >/dev/null || { echo "needs xvfb-run (apt-get install xvfb xauth)" >&2; exit 1; }
# A scratch drive folder, so the run touches nothing of the user's.
drive=$(mktemp -d)
trap 'rm -rf "$drive"' EXIT
bus=()
if [ "${KELDAR_BENCH_BUS:-session}" != none ] && command -v dbus-run-session >/dev/null; then
  bus=(dbus-run-session --)
  echo "on a session bus of their own"
else
  echo "without a session bus"
fi
KELDAR_DRIVE_C=$drive xvfb-run -a -s "-screen 0 1024x768x24" "${bus[@]}" \
  "$build/bin/keldar-startup-bench" --runs "$runs" \
  "$build/bin/startup-bare-window" "$build/bin/keldar" "$@"
