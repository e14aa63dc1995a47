#!/usr/bin/env bash
# The release as a player gets it: package it, unpack it into a fresh game folder, copy
# Velquor.asi beside the game and, to try them, the sample folder samples/Velquor as the guide says,
# with the names log on, run the checker that
# comes with it, start the game and see from its trace that an animation plays; then, as a modder,
# pick a texture with the keys, save its picture and hear from the checker what a GIF named after
# no texture should be called.
#   release_install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

zip=$(bash "$source_dir/scripts/release.sh" --package "$build" "$work/dist" | tail -n 1)
[ -f "$zip" ] || { echo "FAIL: no package"; exit 1; }
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
release=$(ls -d "$work"/unpacked/Velquor-*)
[ ! -e "$release/Velquor" ] || { echo "FAIL: the package has a Velquor folder: its samples would play on the game's textures"; exit 1; }
for part in Velquor.asi velquor-check.exe GUIDE.md samples/Velquor/fire.gif; do
  [ -e "$release/$part" ] || { echo "FAIL: $part missing from $(basename "$zip")"; exit 1; }
done

# What Windows shows in the properties of the packaged (stripped) module.
strings -el "$release/Velquor.asi" | grep -qx 'Velquor' \
  && strings -el "$release/Velquor.asi" | grep -A1 -x 'FileVersion' | grep -qx "${release##*/Velquor-}" \
  || { echo "FAIL: no version resource with product name and file version in the packaged module"; exit 1; }

# A game folder: the game and its ASI loader (the stand-in loads every .asi beside it).
game=$work/game
mkdir "$game"
cp "$build/game/standin.exe" "$build/game/standin_core.dll" "$game/"
cp "$release/Velquor.asi" "$game/"
cp -r "$release/samples/Velquor" "$game/"

cd "$game"
printf 'names=1\n' > Velquor.ini
"$source_dir/scripts/wine-run" "$release/velquor-check.exe" Velquor > check.txt \
  || { cat check.txt; echo "FAIL: the checker finds problems in the sample folder"; exit 1; }
grep -q 'fire.gif -> texture "fire"' check.txt || { cat check.txt; echo "FAIL: checker output"; exit 1; }

grep -q 'put names=1 in Velquor.ini\|play the game with the module' check.txt \
  || { cat check.txt; echo "FAIL: the checker does not say how to make names.txt"; exit 1; }

# F9 turns pick mode on, Page Down picks the first texture drawn (fire), F11 saves it.
"$source_dir/scripts/wine-run" standin.exe --frames 100 --trace trace.jsonl \
  --texture fire,64,64,ffff0000,0x728320 --texture stone,64,64,ff808080,0x7FDFDA \
  --key 5,120,press --key 8,34,press --key 10,122,press

grep -q '"event":"module","path":"[^"]*Velquor.asi","loaded":true' trace.jsonl \
  || { grep module trace.jsonl; echo "FAIL: the game did not load Velquor.asi"; exit 1; }
if grep -q '"event":"message_box"' trace.jsonl; then
  grep message_box trace.jsonl; echo "FAIL: message boxes with the sample folder"; exit 1
fi
fire_textures=$(grep '"event":"draw"' trace.jsonl | grep '"texture":"fire"' | grep '"swapped":true' \
  | sed 's/.*"d3d_texture":"\([^"]*\)".*/\1/' | sort -u | wc -l)
stone_swapped=$(grep '"texture":"stone"' trace.jsonl | grep -c '"swapped":true' || true)
echo "fire drawn with $fire_textures different animation frames; stone swapped $stone_swapped times"
# fire.gif changes frame every 60 ms: a hundred game frames take far longer than that.
[ "$fire_textures" -ge 2 ] || { echo "FAIL: fire does not play its animation"; exit 1; }
[ "$stone_swapped" = 0 ] || { echo "FAIL: a texture without GIF was replaced"; exit 1; }
[ -f Velquor/picked/fire.png ] || { ls -R Velquor; echo "FAIL: pick mode saved no Velquor/picked/fire.png"; exit 1; }
grep -q "^fire	" Velquor/names.txt && grep -q "^stone	" Velquor/names.txt \
  || { cat Velquor/names.txt; echo "FAIL: names.txt lacks the scene's names"; exit 1; }
cp Velquor/water.gif Velquor/ston.gif
"$source_dir/scripts/wine-run" "$release/velquor-check.exe" Velquor > check.txt || true
grep -q 'ston.gif: no texture of this name was seen; did you mean "stone"?' check.txt \
  || { cat check.txt; echo "FAIL: the checker does not suggest stone for ston.gif"; exit 1; }
echo "PASS"
