#!/usr/bin/env bash
# Builds Quiblet, lays out its start directory (run/) and starts it under Wine.
# It runs until "Beenden" in its tray menu.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" "$root/build"
"$root/scripts/layout.sh" "$root/build" "$root/run"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: Quiblet starts on a virtual screen (Xvfb). Its tray icon sits in the \"Wine System Tray\" window there."
fi
echo "Starting Quiblet in $root/run (notes in $root/run/<user name>); end it with \"Beenden\" in the tray menu."
cd "$root/run"
exec "$root/scripts/winerun" Quiblet.exe
