#!/usr/bin/env bash
# Takes the README's pictures of Quiblet in use from the program itself:
# builds it, starts it in a fresh start directory on a screen of its own
# (Xvfb) and drives it like a user (scripts/pictures.py); the PNGs go to
# docs/.
#   scripts/screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
"$root/scripts/setup.sh" "$build"
# A screen of our own, so no other window gets into the pictures.
env -u DISPLAY "$root/scripts/winerun" --session python3 "$root/scripts/pictures.py" "$build" "$root/docs"
