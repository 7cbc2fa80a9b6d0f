#!/usr/bin/env bash
# Configures and builds everything (native core and tests, Windows DLLs,
# emulator and Windows tests) into build/; the DLLs are copied to dist/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" >/dev/null
cmake --build "$root/build" -j"$(nproc)" -- --no-print-directory 2>&1 | grep -E -i 'error|warning' || true
test "${PIPESTATUS[0]}" -eq 0
