#!/usr/bin/env bash
# Installs what building, running and testing Quiblet needs on Debian 12,
# then configures and builds it. Safe to run again: it installs only what is
# missing and builds only what changed.
#   scripts/setup.sh [build-dir [CMake options...]]
# CMake options (e.g. -DQUIBLET_BUILD_TESTS=OFF) configure the build
# directory again with them; without any it is configured once.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
options=("${@:2}")

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have make || need+=(make)
have x86_64-w64-mingw32-g++-posix || need+=(mingw-w64)
have x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
have wine || need+=(wine)
have Xvfb || need+=(xvfb)
have xdotool || need+=(xdotool)
have xwd || need+=(x11-apps)
have python3 || need+=(python3)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
  echo "== Installing: ${need[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ] || [ ${#options[@]} -gt 0 ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
