#!/usr/bin/env bash
# Builds and runs the module's benchmarks inside the stand-in game under Wine and Xvfb. Where Wine
# runs on qemu's i386 emulator, absolute figures are inflated; the ratios are what to read.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/windows}
export WINEPREFIX=${WINEPREFIX:-${VELQUOR_CACHE:-/opt/velquor-deps}/wineprefix}
export WINEDEBUG=-all
[ -f "$build/build.ninja" ] || cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target standin Velquor plugin_bench plugin_use_cost_bench plugin_appearance_bench -j "$(nproc)" >/dev/null
run_dir=$build/bench/plugin/run
mkdir -p "$run_dir"
module=$(cd "$build/src/plugin" && pwd)/Velquor.asi
# The use-cost and appearance benchmarks load the module into the running game themselves: a Windows path for Wine.
export VELQUOR_ASI="Z:$(echo "$module" | sed 's#/#\\#g')"
# The animations the appearance benchmark brings into view: made once by the host's sample
# generator (a native build).
gifs=$build/bench/plugin/appearance-gifs
if [ ! -f "$gifs/appear_1024.gif" ]; then
  [ -f build/native/build.ninja ] || cmake --preset native >/dev/null
  cmake --build build/native --target velquor_make_samples -j "$(nproc)" >/dev/null
  mkdir -p "$gifs"
  build/native/tools/samples/velquor_make_samples appearance "$gifs" >/dev/null
fi
export VELQUOR_APPEARANCE_GIFS="Z:$(cd "$gifs" && pwd | sed 's#/#\\#g')"
scripts/wine-wait
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  cd '$run_dir'
  '$PWD/scripts/wine-run' '$PWD/$build/game/standin.exe' --driver '$PWD/$build/bench/plugin/plugin_bench.dll' \
    --no_asi --window 640,80 -- --gtest_color=no
  '$PWD/scripts/wine-run' '$PWD/$build/game/standin.exe' \
    --driver '$PWD/$build/bench/plugin/plugin_use_cost_bench.dll' --no_asi -- --gtest_color=no
  # Cases that need a game of their own: one process each.
  for filter in 'Appearance.LongestDraw*:Appearance.WhereTheTime*' Appearance.TextureMemory* Appearance.FirstFrame*; do
    '$PWD/scripts/wine-run' '$PWD/$build/game/standin.exe' \
      --driver '$PWD/$build/bench/plugin/plugin_appearance_bench.dll' --no_asi --frame_time 16 -- \
      --gtest_color=no --gtest_filter=\$filter
  done
  '$PWD/scripts/wine-wait'
" 2>&1 | grep -v -E '^\[ *(RUN|OK|PASSED|==========|----------) *\]|^Note:|^$|^X connection'

