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

# The benchmark needs no test programs: its build directory is configured
# without them, on a fresh machine as on any other.
"$root/scripts/setup.sh" "$build" -DQUIBLET_BUILD_TESTS=OFF
cmake --build "$build" --target bench_programs -j"$(nproc)"
# On a virtual screen of its own: the same screen on every machine, no
# desktop tray to dock into (the launch figure watches Wine's own tray
# window), and no hundred notes flashing over the user's desktop.
exec env -u DISPLAY "$root/scripts/winerun" --session python3 "$root/bench/run_bench.py" --build "$build" "$@"
