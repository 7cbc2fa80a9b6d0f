#!/usr/bin/env bash
# The demo: builds everything, then runs the player emulator hosting
# gen_orvela.dll on a virtual display inside the rig, prints what the plug-in
# put into the now-playing block and saves a screenshot to demo-output/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/build.sh"
out="$root/demo-output"
mkdir -p "$out"
exec bash "$root/tools/rig.sh" "$root/build/wineprefix-demo" bash "$root/tools/demo-steps.sh" "$root" "$out"
