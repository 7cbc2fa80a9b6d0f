#!/usr/bin/env bash
# Runs inside the rig (tools/rig.sh): the steps of the demo.
set -euo pipefail
root=$1 out=$2
bin="$root/build/win/bin"
cd "$bin"
wine player_emulator.exe --seconds 8 >"$out/player.txt" 2>&1 &
player=$!
sleep 6
import -window root "$out/demo.png"
wait "$player" || true
cat "$out/player.txt"
echo "screenshot: $out/demo.png"
