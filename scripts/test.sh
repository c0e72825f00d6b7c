#!/usr/bin/env bash
# Builds everything and runs the test suite, under a virtual X server when no display is set.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

# The end-to-end test renders through Ardour 7, the VST3 host in Debian 12.
bash "$root/scripts/setup.sh" ardour
bash "$root/scripts/build.sh"

cd "$build"
if [ -n "${DISPLAY:-}" ]; then
    ctest --output-on-failure --timeout 900 "$@"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 900 "$@"
fi
