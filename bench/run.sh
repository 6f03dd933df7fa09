#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, and reports the size of Quorel.exe against its budget.
#   bench/run.sh [i686|x86_64]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
build="$root/build/$arch"
"$root/scripts/ensure-deps.sh" || exit 1
. "$root/scripts/wine.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" --target Quorel update_bench quorel_v3200 quorel_v3201 >/dev/null || exit 1

budget=$((256 * 1024))
size=$(stat -c %s "$build/Quorel.exe")
echo "Quorel.exe ($arch): $size bytes, budget $budget bytes ($((size * 100 / budget))% used)"
"$arch-w64-mingw32-size" "$build/Quorel.exe" | tail -1 | awk '{printf "  text %d, data %d, bss %d\n", $1, $2, $3}'

if [ "$arch" = i686 ] && [ "$QUOREL_RUNS_I686" = 0 ]; then
    echo "This machine's kernel runs no 32-bit programs: run the timings with bench/run.sh x86_64"
    exit 0
fi
"$root/scripts/wine-run.sh" "$build/wineprefix" "$build/bench/update_bench.exe"
status=$?
WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 || true
exit $status
