#!/usr/bin/env bash
# The main job: builds the plug-in and installs the VST3 bundle into ~/.vst3.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

bash "$root/scripts/build.sh" VelmoraMonoIn_VST3

bundle="$build/VelmoraMonoIn_artefacts/Release/VST3/Velmora mono in.vst3"
dest="$HOME/.vst3"
mkdir -p "$dest"
rm -rf "$dest/Velmora mono in.vst3"
cp -R "$bundle" "$dest/"
echo "[run] installed: $dest/Velmora mono in.vst3"
