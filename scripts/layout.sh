#!/usr/bin/env bash
# Lays out a start directory: Quiblet.exe with its help page and sounds.
# The program keeps its notes in a folder named after the user inside it.
#   scripts/layout.sh <build-dir> <start-dir>
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
start=$2
mkdir -p "$start"
cp "$build/Quiblet.exe" "$start/"
cp "$root/resources/hilfe.htm" "$start/"
cp "$build/sounds/Paper1.wav" "$build/sounds/Paper2.wav" "$build/sounds/bellsong.wav" "$start/"
