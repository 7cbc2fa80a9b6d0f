#!/usr/bin/env bash
# The one command that runs every test: installs what is missing, builds,
# then runs native, fuzz and Windows tests in one ctest run inside the rig.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/build.sh"
exec bash "$root/tools/rig.sh" "$root/build/wineprefix" \
  ctest --test-dir "$root/build" --output-on-failure -j2 "$@"
