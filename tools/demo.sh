#!/usr/bin/env bash
# The demo: builds everything, then runs the player emulator hosting
# gen_orvela.dll on a virtual display inside the rig, prints what the plug-in
# put into the now-playing block and saves a screenshot to demo-output/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/build.sh"
out="$root/demo-output"
mkdir -p "$out"
bash "$root/tools/rig.sh" "$root/build/wineprefix-demo" bash "$root/tools/demo-steps.sh" "$root" "$out"
# Then two computers on one link, each listing the other; A's sound, played
# into its sound server, is heard on B.
[[ -f "$root/build/wineprefix/system.reg" ]] ||
  bash "$root/tools/rig.sh" "$root/build/wineprefix" true
echo "Two computers:"
unshare --net -- env ORVELA_DEMO_OUT="$out" bash "$root/tests/lan_test.sh" "$root/build"
echo "screens: $out/PC-A.png $out/PC-B.png; B's recording of A: $out/lan-recording.wav"
