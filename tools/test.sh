#!/usr/bin/env bash
# The one command that runs every test: installs what is missing, builds,
# then runs native, fuzz and Windows tests in one ctest run inside the rig.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/build.sh"
# Wine starts its desktop process with the first window; let a throw-away
# window start it here, so that it does not hold a test's output pipe open.
exec bash "$root/tools/rig.sh" "$root/build/wineprefix" bash -c '
  (cd "$0/build/win/bin" && wine player_emulator.exe --seconds 0 </dev/null >/dev/null 2>&1) || true
  exec ctest --test-dir "$0/build" --output-on-failure -j2 "$@"' "$root" "$@"
