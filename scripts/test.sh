#!/usr/bin/env bash
# Builds both builds and runs every test: the native build (portable parts under AddressSanitizer
# and UBSan, the differential test, the fuzz smoke runs) and the Windows build under Wine inside
# a virtual X server (real Direct3D 9 through Wine and Mesa). Installs what it needs first.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
export VELQUOR_CACHE=${VELQUOR_CACHE:-/opt/velquor-deps}
export WINEPREFIX=${WINEPREFIX:-$VELQUOR_CACHE/wineprefix}
export WINEDEBUG=-all

jobs=$(nproc)
log_dir=build/test-logs
mkdir -p "$log_dir"
status=0

run_build() {
  local preset=$1
  cmake --preset "$preset" >"$log_dir/$preset-configure.log" 2>&1 \
    || { cat "$log_dir/$preset-configure.log"; return 1; }
  cmake --build --preset "$preset" -j "$jobs" >"$log_dir/$preset-build.log" 2>&1 \
    || { tail -n 60 "$log_dir/$preset-build.log"; return 1; }
}

run_build native || status=1
run_build windows || status=1

if [ "$status" = 0 ]; then
  ctest --preset native -j "$jobs" 2>&1 | tee "$log_dir/native-ctest.log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  # One X server and one persistent wineserver for the whole Windows run; a server left by an
  # earlier run without this display must be gone first.
  scripts/wine-wait
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    wineserver -p >/dev/null 2>&1
    # Start Wine'"'"'s own background processes now, away from CTest'"'"'s output pipes: started by
    # a test they would inherit its pipe and CTest would wait for them until the timeout.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    ctest --preset windows -j 2 2>&1 | tee "'"$log_dir"'/windows-ctest.log"
    rc=${PIPESTATUS[0]}
    wineserver -k >/dev/null 2>&1
    exit $rc' || status=1
fi

# One closing line over both runs.
passed=0; failed=0
for f in "$log_dir/native-ctest.log" "$log_dir/windows-ctest.log"; do
  [ -f "$f" ] || continue
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$f" | tail -n1)
  [ -n "$line" ] || continue
  fails=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - fails)); failed=$((failed + fails))
done
[ "$status" = 0 ] || [ "$failed" -gt 0 ] || failed=1
echo "Total: $passed passed, $failed failed"
exit $status
