#!/usr/bin/env bash
# Runs every benchmark: builds the native preset's benchmark executables (every target named
# *_bench) and runs each one that was built, then runs each bench/<folder>/run.sh (benchmarks that
# need the Windows build and Wine bring their own). Benchmarks print figures; none of them passes
# or fails on speed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null || exit 1
build=build/native
mkdir -p "$build"
cmake --preset native >"$build/bench-configure.log" 2>&1 || { cat "$build/bench-configure.log"; exit 1; }

status=0
mapfile -t benches < <(ninja -C "$build" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_bench\): phony$/\1/p' | grep -v '^cmake_' | sort -u)
[ "${#benches[@]}" = 0 ] && echo "bench: no native benchmark is configured"
for b in "${benches[@]}"; do
  if ! cmake --build "$build" --target "$b" -j "$(nproc)" >"$build/bench-build-$b.log" 2>&1; then
    echo "== $b: build failed, skipped (see $build/bench-build-$b.log)"
    status=1
    continue
  fi
  exe=$(find "$build/bench" -type f -name "$b" -perm -u+x | head -n1)
  [ -n "$exe" ] || { echo "== $b: no executable, skipped"; continue; }
  echo "== $b"
  "$exe" || status=1
  echo
done
for script in bench/*/run.sh; do
  [ -f "$script" ] || continue
  echo "== $script"
  bash "$script" || { echo "== $script failed"; status=1; }
  echo
done
exit $status
