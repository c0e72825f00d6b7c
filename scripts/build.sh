#!/usr/bin/env bash
# Sets up dependencies, configures and builds the given targets (default: all).
# BUILD_DIR chooses the build folder (default: build).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

bash "$root/scripts/setup.sh"

if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "[build] configuring in $build"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi

targets=()
for t in "$@"; do targets+=(--target "$t"); done
echo "[build] building ${*:-all}"
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
