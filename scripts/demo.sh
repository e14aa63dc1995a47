#!/usr/bin/env bash
# The main job: shows what the module makes of the bundled sample animations. Installs
# what it needs, builds the inspect tool of the native build, inspects samples/Velquor and writes
# contact sheets of every animation's frames as the game's textures will show them; then runs
# Velquor.asi inside the stand-in game on the same samples and writes what the game showed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=build/native
out=out/demo
mkdir -p "$build"
echo "demo: building the inspect tool ($build)"
cmake --preset native >"$build/demo-configure.log" 2>&1 || { cat "$build/demo-configure.log"; exit 1; }
cmake --build "$build" --target velquor_inspect -j "$(nproc)" >"$build/demo-build.log" 2>&1 \
  || { tail -n 40 "$build/demo-build.log"; exit 1; }
rm -rf "$out"
echo
"$build/tools/inspect/velquor_inspect" -o "$out" samples/Velquor
echo
echo "Contact sheets are in $(pwd)/$out:"
echo "  <name>.png                  the frames as the game shows them with the background colour transparent"
echo "  <name>.keep-background.png  the same with the background colour kept (background=1 in <name>.cfg)"
echo "  transparent pixels are drawn over a grey checkerboard"

# Then the real module in the stand-in game on the same samples: what the game shows over time.
echo
echo "demo: running Velquor.asi in the stand-in game on samples/Velquor"
bash scripts/demo-game.sh out/demo-game
