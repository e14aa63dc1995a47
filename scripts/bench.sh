#!/usr/bin/env bash
# Builds the benchmarks of the native preset (every target named *_bench) and runs each one that
# was built. Benchmarks print figures; none of them passes or fails on speed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null || exit 1
build=build/native
mkdir -p "$build"
cmake --preset native >"$build/bench-configure.log" 2>&1 || { cat "$build/bench-configure.log"; exit 1; }

mapfile -t benches < <(ninja -C "$build" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_bench\): phony$/\1/p' | grep -v '^cmake_' | sort -u)
if [ "${#benches[@]}" = 0 ]; then
  echo "bench: no benchmark is configured"
  exit 1
fi
status=0
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
exit $status
