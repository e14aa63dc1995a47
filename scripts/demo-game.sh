#!/usr/bin/env bash
# Runs the real Velquor.asi inside the stand-in game on the bundled sample animations and writes
# what the game showed: a PNG capture every few frames and one contact sheet of them all.
# Usage: scripts/demo-game.sh [output folder]   (default out/demo-game)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-out/demo-game}
frames=${DEMO_FRAMES:-72}
every=${DEMO_CAPTURE_EVERY:-6}

bash scripts/setup.sh >/dev/null
export VELQUOR_CACHE=${VELQUOR_CACHE:-/opt/velquor-deps}
export WINEPREFIX=${WINEPREFIX:-$VELQUOR_CACHE/wineprefix}
export WINEDEBUG=-all

build=${VELQUOR_DEMO_BUILD:-build/windows}
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset windows >/dev/null
fi
cmake --build "$build" --target standin Velquor -j "$(nproc)" >/dev/null

# A game folder as a player has it: the module's animations beside the game.
rm -rf "$out"
mkdir -p "$out/Velquor" "$out/captures"
cp samples/Velquor/* "$out/Velquor/"

sites=(0x728320 0x7FDFDA 0x58D872 0x72837F 0x728570)
names=()
for gif in "$out"/Velquor/*.gif; do names+=("$(basename "$gif" .gif)"); done
{
  echo "# Written by scripts/demo-game.sh"
  echo "window $(( (${#names[@]} + 1) * 80 )) 80"
  echo "frames $frames"
  echo "asi $root/$build/src/plugin/Velquor.asi"
  echo "trace trace.jsonl"
  i=0
  for name in "${names[@]}"; do
    # The quads are alpha-blended where the GIF's background is made transparent.
    echo "texture $name 64 64 ffffff00 ${sites[$((i % 5))]} alpha"
    i=$((i + 1))
  done
  echo "texture stone 64 64 ff808080 0x728320"
  for ((f = 0; f < frames; f += every)); do printf 'capture %d captures/frame%03d.png\n' "$f" "$f"; done
} > "$out/demo.scenario"

"$root/scripts/wine-wait"
(cd "$out" && xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  '"$0" "$1" --scenario demo.scenario; rc=$?; "$2"; exit $rc' \
  "$root/scripts/wine-run" "$root/$build/game/standin.exe" "$root/scripts/wine-wait") \
  > "$out/standin.log" 2>&1 || { cat "$out/standin.log"; echo "demo-game: the stand-in failed" >&2; exit 1; }

shopt -s nullglob
captures=("$out"/captures/*.png)
[ ${#captures[@]} -gt 0 ] || { echo "demo-game: no captures written" >&2; exit 1; }
python3 scripts/contact_sheet.py "$out/contact_sheet.png" 2 1 "${captures[@]}"

swapped=$(grep -c '"swapped":true' "$out/trace.jsonl" || true)
boxes=$(grep -c '"event":"message_box"' "$out/trace.jsonl" || true)
echo "Velquor in the stand-in game: ${#names[@]} animations (${names[*]}) and one texture of the game's own (stone), $frames frames"
echo "  texture draws that showed an animation: $swapped; message boxes: $boxes"
echo "  captures:      $root/$out/captures/ (${#captures[@]} PNG files, every $every frames)"
echo "  contact sheet: $root/$out/contact_sheet.png"
echo "  trace:         $root/$out/trace.jsonl"
