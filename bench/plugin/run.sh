#!/usr/bin/env bash
# Builds and runs the module's benchmarks inside the stand-in game under Wine and Xvfb. Wine runs
# here on qemu's i386 emulator, so absolute figures are inflated; the ratios are what to read.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/windows}
export WINEPREFIX=${WINEPREFIX:-${VELQUOR_CACHE:-/opt/velquor-deps}/wineprefix}
export WINEDEBUG=-all
[ -f "$build/build.ninja" ] || cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target standin Velquor plugin_bench plugin_frame_bench -j "$(nproc)" >/dev/null
run_dir=$build/bench/plugin/run
mkdir -p "$run_dir"
module=$(cd "$build/src/plugin" && pwd)/Velquor.asi
# The frame benchmark loads the module into the running game itself: a Windows path for Wine.
export VELQUOR_ASI="Z:$(echo "$module" | sed 's#/#\\#g')"
scripts/wine-wait
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  cd '$run_dir'
  '$PWD/scripts/wine-run' '$PWD/$build/game/standin.exe' --driver '$PWD/$build/bench/plugin/plugin_bench.dll' \
    --no_asi --window 640,80 -- --gtest_color=no
  '$PWD/scripts/wine-run' '$PWD/$build/game/standin.exe' \
    --driver '$PWD/$build/bench/plugin/plugin_frame_bench.dll' --no_asi --window 640,480 -- --gtest_color=no
  '$PWD/scripts/wine-wait'
" 2>&1 | grep -v -E '^\[ *(RUN|OK|PASSED|==========|----------) *\]|^Note:|^$'
