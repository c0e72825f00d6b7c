#!/usr/bin/env bash
# The main job: builds the plug-in, installs the VST3 bundle into ~/.vst3, and
# renders the built-in test signal through it with the default settings.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

bash "$root/scripts/build.sh" VelmoraMonoIn_VST3 velmora-render

bundle="$build/VelmoraMonoIn_artefacts/Release/VST3/Velmora mono in.vst3"
dest="$HOME/.vst3"
mkdir -p "$dest"
rm -rf "$dest/Velmora mono in.vst3"
cp -R "$bundle" "$dest/"
echo "[run] installed the plug-in: $dest/Velmora mono in.vst3"

mkdir -p "$root/out"
"$build/tools/velmora-render" --output "$root/out/demo.wav"
"$build/tools/velmora-render" --impulse --output "$root/out/impulse.wav" --png "$root/out/impulse.png"
echo "[run] rendered the built-in test signal: $root/out/demo.wav"
echo "[run] the room's impulse response: $root/out/impulse.wav, its energy decay: $root/out/impulse.png"
