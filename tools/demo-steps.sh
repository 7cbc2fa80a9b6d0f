#!/usr/bin/env bash
# Runs inside the rig (tools/rig.sh): the steps of the demo. Three simulated
# computers announce themselves on the first run's group while the player
# emulator shows the browser; STUDIO shares a folder that Wine can open
# through its network-name mapping, so its Shared column says "Yes". Through
# the browser the demo imports STUDIO's playlist (the entries this computer
# can reach) and double-clicks STUDIO: its agent grants, and its sound plays
# through in_orvela.dll into the recording.
set -euo pipefail
root=$1 out=$2
bin="$root/build/win/bin"
peersim="$root/build/tools/peersim"

# \\STUDIO\Music is $WINEPREFIX/dosdevices/unc/STUDIO/Music for Wine.
share=$(mktemp -d)
unc="$WINEPREFIX/dosdevices/unc/STUDIO"
mkdir -p "$share/Jazz" "$unc"
echo demo >"$share/Jazz/Take Five.mp3"
echo demo >"$share/Jazz/Blue Rondo.mp3"
ln -sfn "$share" "$unc/Music"
sim= peer=
cleanup_demo() {
  [[ -n "$sim" ]] && kill "$sim" 2>/dev/null || true
  [[ -n "$peer" ]] && kill "$peer" 2>/dev/null || true
  rm -f "$unc/Music"
  rmdir "$unc" "$WINEPREFIX/dosdevices/unc" 2>/dev/null || true
  rm -rf "$share"
}
trap cleanup_demo EXIT

# More computers than the browser's page holds, so its skinned scroll bar shows.
more=()
names=(ATTIC BASEMENT CELLAR DEN ENTRY FOYER GARAGE HALL ISLAND JETTY KIOSK LOFT MEZZANINE NOOK
       OFFICE PORCH QUAY ROOF STUDY TOWER UPSTAIRS VAULT WING YARD)
for i in "${!names[@]}"; do
  more+=(--peer --src "127.0.0.$((10 + i))" --comp "${names[$i]}" --user "guest$i"
         --title "Track $((i + 1))")
done

# Every second for at most 30 s: the simulator stops by itself.
"$peersim" presence --group 225.5.5.100 --port 5145 --interval 1000 --count 30 --duration 30000 \
  --peer --src 127.0.0.2 --comp STUDIO --user anna --title "Dave Brubeck - Take Five" \
         --path 'D:\Music\Jazz\Take Five.mp3' --req-port 5146 \
  --peer --src 127.0.0.3 --comp LAPTOP-7 --user ben --title "Nina Simone - Sinnerman" \
         --path 'C:\Users\ben\Music\Sinnerman.mp3' --req-port 5146 \
  --peer --src 127.0.0.4 --comp KITCHEN --user carla --title "Radio mix" --req-port 5146 \
  "${more[@]}" >"$out/peersim.txt" 2>&1 &
sim=$!

# STUDIO's agent: answers the playlist request (two of its three entries are
# shared), grants listening, streams two tones for 5 s and says
# "CLOSE_STREAM"; it waits at most 40 s for the player.
rm -f "$out/agent.log"
"$peersim" stream --bind 127.0.0.2 --port 5146 --format 1 --need-grant \
  --playlist 'D:\Music\Jazz\Take Five.mp3' --playlist 'D:\Music\Jazz\Blue Rondo.mp3' \
  --playlist 'C:\Users\anna\private.mp3' \
  --close-after 5000 --duration 6000 --wait 40000 --log "$out/agent.log" &
peer=$!
for _ in $(seq 50); do grep -q listening "$out/agent.log" 2>/dev/null && break; sleep 0.1; done

cd "$bin"
wine player_emulator.exe --seconds 8 --import 127.0.0.2 --listen 127.0.0.2 \
  --wav "$out/stream.wav" >"$out/player.txt" 2>&1 &
player=$!
sleep 9
import -window root "$out/demo.png"
wait "$player" || true
wait "$peer" || true
peer=
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
sim=
cat "$out/player.txt"
echo "screenshot: $out/demo.png"
echo "recording:  $out/stream.wav"
