#!/usr/bin/env bash
# Builds both builds and runs every test: the host build under AddressSanitizer and
# UndefinedBehaviorSanitizer (unit, contract and end-to-end tests), then the Windows build
# under Wine (the same contract and logic tests against the real calls, the dialog and a whole
# update driven on a screen).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
logs=build/logs
mkdir -p "$logs"

echo "== host build (ASan, UBSan)"
cmake -S . -B build/host-san -G Ninja -DVK_SANITIZE=ON >/dev/null
cmake --build build/host-san -j "$jobs"

echo "== Windows build (i686, the product)"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  cmake --build build/win32 -j "$jobs"
else
  # This kernel cannot start 32-bit programs: the i686 test programs could not run, and the
  # Wine tests build and run the x86_64 ones instead. The product alone, for its checks.
  cmake --build build/win32 -j "$jobs" --target vkupdate
fi

echo "== host tests"
host_status=0
(cd build/host-san && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs") 2>&1 | tee "$logs/host.log" || host_status=1

echo "== Wine tests"
wine_status=0
bash scripts/wine-tests.sh 2>&1 | tee "$logs/wine.log" || wine_status=1

# One closing line over both runs.
host_line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logs/host.log" | tail -n 1 || true)
host_total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"${host_line:-out of 0}")
host_failed=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"${host_line:-passed, 0 tests failed}")
wine_passed=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed' "$logs/wine.log" | tail -n 1 | sed -E 's/^wine: ([0-9]+) passed.*/\1/' || true)
wine_failed=$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed' "$logs/wine.log" | tail -n 1 | sed -E 's/.*passed, ([0-9]+) failed.*/\1/' || true)
passed=$(( host_total - host_failed + ${wine_passed:-0} ))
failed=$(( host_failed + ${wine_failed:-0} ))
if [ "$host_status" -ne 0 ] || [ "$wine_status" -ne 0 ]; then
  [ "$failed" -gt 0 ] || failed=1
fi
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
