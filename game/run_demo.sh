#!/usr/bin/env bash
# Runs the stand-in game with the module on the bundled sample animations: builds both (Windows
# build), copies samples/Velquor into a fresh folder, plays game/demo.scenario there under Wine and
# Xvfb, and prints where the captures and the trace are.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELQUOR_BUILD:-build/windows}
out=${1:-out/game-demo}
mkdir -p "$build"
echo "game demo: building the stand-in and the module ($build)"
cmake --preset windows -B "$build" >"$build/game-demo-configure.log" 2>&1 \
  || { cat "$build/game-demo-configure.log"; exit 1; }
cmake --build "$build" --target standin Velquor -j "$(nproc)" >"$build/game-demo-build.log" 2>&1 \
  || { tail -n 40 "$build/game-demo-build.log"; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cp -r samples/Velquor "$out/"
root=$(pwd)
(cd "$out" && xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/wine-run" "$root/$build/game/standin.exe" \
  --scenario "$root/game/demo.scenario" --asi "$root/$build/src/plugin/Velquor.asi")
swapped=$(grep -c '"swapped":true' "$out/demo-trace.jsonl" || true)
echo
echo "game demo: $swapped texture draws showed an animation frame instead of the game's texture"
grep -E '"event":"(reset|message_box|unload|crash)"' "$out/demo-trace.jsonl" || true
echo "Captures (frames 10, 25 and 39) and the trace are in $(cd "$out" && pwd)"
