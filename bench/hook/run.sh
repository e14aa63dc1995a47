#!/usr/bin/env bash
# Builds the hook benchmark in the Windows build and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELQUOR_HOOK_BENCH_BUILD:-build/windows}
cmake --preset windows -B "$build" >"$build-hook-bench-configure.log" 2>&1 \
  || { cat "$build-hook-bench-configure.log"; exit 1; }
cmake --build "$build" --target hook_bench -j "$(nproc)" >"$build-hook-bench-build.log" 2>&1 \
  || { tail -n 40 "$build-hook-bench-build.log"; exit 1; }
# Without a display: the server it starts must be gone before anything runs under one.
scripts/wine-wait
status=0
scripts/wine-run "$build/bench/hook/hook_bench.exe" || status=$?
scripts/wine-wait
exit $status
