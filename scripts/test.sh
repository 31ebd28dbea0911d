#!/usr/bin/env bash
# Builds Quiblet with its tests and runs every test under Wine.
# Fails when a test fails or when no test ran.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" "$root/build"
cd "$root/build"
# Wine's own windows and texts (its tray window's name among them) follow the
# locale; the tests see the same ones on every machine.
export LC_ALL=C.UTF-8
log=$(mktemp)
set +e
"$root/scripts/winerun" --session ctest --output-on-failure "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
if grep -q "No tests were found" "$log" || ! grep -qE "tests passed" "$log"; then
  echo "test.sh: no test ran" >&2
  status=1
fi
rm -f "$log"
exit $status
