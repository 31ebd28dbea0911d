#!/usr/bin/env bash
# Builds Quiblet with its benchmark programs and prints the benchmark table:
# each figure of the program beside its floor, measured in the same run.
#   scripts/bench.sh [options of bench/run_bench.py, e.g. --cycle-seconds 0]
# It takes about five minutes after the build; --cycle-seconds 0 runs all
# 1,000 show/hide cycles of the object counts (about half an hour more).
# QUIBLET_BENCH_BUILD chooses the build directory (default build-bench/);
# QUIBLET_WINEPREFIX the Wine prefix (default .wine-bench/, a prefix of its
# own, since the launch figure runs Quiblet.exe on the program's real
# registry key).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIBLET_BENCH_BUILD:-$root/build-bench}
export QUIBLET_WINEPREFIX=${QUIBLET_WINEPREFIX:-$root/.wine-bench}

# The benchmark needs no test programs; where CMake is there already they
# are left out of this build directory (setup.sh then only builds).
if [ ! -f "$build/CMakeCache.txt" ] && command -v cmake >/dev/null 2>&1; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQUIBLET_BUILD_TESTS=OFF >/dev/null
fi
"$root/scripts/setup.sh" "$build"
cmake --build "$build" --target bench_programs -j"$(nproc)"
# On a virtual screen of its own: the same screen on every machine, no
# desktop tray to dock into (the launch figure watches Wine's own tray
# window), and no hundred notes flashing over the user's desktop.
exec env -u DISPLAY "$root/scripts/winerun" --session python3 "$root/bench/run_bench.py" --build "$build" "$@"
