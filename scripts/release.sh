#!/usr/bin/env bash
# Makes the package a player installs: dist/Velquor-<version>.zip with Velquor.asi, the folder
# checker for Windows (velquor-check.exe), sample animations in samples/Velquor (beside, not in,
# the folder the module reads: they would animate whatever game textures share their names) and
# the guide.
#   scripts/release.sh                         set up, build the Windows preset, package
#   scripts/release.sh --package BUILD OUTDIR  package what BUILD already holds (for tests)
# Prints the path of the zip on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

package() {
  local build=$1 out=$2
  local version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  [ -n "$version" ] || { echo "release: no project version in $build/CMakeCache.txt" >&2; exit 1; }
  local name=Velquor-$version
  local stage
  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' RETURN
  mkdir -p "$stage/$name/samples/Velquor" "$out"
  cp "$build/src/plugin/Velquor.asi" "$stage/$name/"
  cp "$build/tools/check/velquor-check.exe" "$stage/$name/"
  cp "$root"/samples/Velquor/* "$stage/$name/samples/Velquor/"
  cp "$root/docs/GUIDE.md" "$stage/$name/"
  # Players get no debug information: a tenth of the size.
  i686-w64-mingw32-strip --strip-debug "$stage/$name/Velquor.asi" "$stage/$name/velquor-check.exe"
  local zip
  zip="$(cd "$out" && pwd)/$name.zip"
  rm -f "$zip"
  (cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
  echo "$zip"
}

if [ "${1:-}" = "--package" ]; then
  package "$2" "$3"
  exit 0
fi

cd "$root"
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Velquor velquor-check
package "$root/build/windows" "$root/dist"
