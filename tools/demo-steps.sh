#!/usr/bin/env bash
# Runs inside the rig (tools/rig.sh): the steps of the demo. This computer's
# Orvela agent (orvela_agent.exe, bound to 127.0.0.2 so that the browser,
# which ignores its own address, lists it) runs beside the player emulator;
# its sound is a WAV file, since Wine's audio stack cannot capture the output
# device. More computers, announced by the peer simulator, fill the browser
# until its skinned scroll bar shows. The agent's computer shares the
# player's Music folder through Wine's network-name mapping, so through the
# browser the demo imports the entries of the player's own playlist that
# can be reached, and double-clicks the agent's computer: the agent grants,
# and its sound plays through in_orvela.dll into the recording.
set -euo pipefail
root=$1 out=$2
bin="$root/build/win/bin"
peersim="$root/build/tools/peersim"

# \\<this computer>\Music is $WINEPREFIX/dosdevices/unc/<name>/Music for
# Wine; it holds two of the three files of the emulator's playlist.
computer=$(wine cmd.exe /c 'echo %COMPUTERNAME%' </dev/null 2>/dev/null | tr -d '\r\n')
share=$(mktemp -d)
unc="$WINEPREFIX/dosdevices/unc/$computer"
mkdir -p "$unc"
echo demo >"$share/Nina Simone - Feeling Good.mp3"
echo demo >"$share/Miles Davis - So What.mp3"
ln -sfn "$share" "$unc/Music"
sim= agent=
cleanup_demo() {
  [[ -n "$sim" ]] && kill "$sim" 2>/dev/null || true
  [[ -n "$agent" ]] && kill "$agent" 2>/dev/null || true
  rm -f "$unc/Music"
  rmdir "$unc" "$WINEPREFIX/dosdevices/unc" 2>/dev/null || true
  rm -rf "$share"
  rm -f "$bin/orvela_agent.ini"
}
trap cleanup_demo EXIT

# The agent: listening granted to all (the player here is on the agent's own
# computer, which announces no name of its own at 127.0.0.1), playlists
# granted, request port 5146, a tune as its sound; it ends by itself after
# 60 s at the latest.
"$peersim" wav --out "$out/agent-sound.wav" --seconds 4
cd "$bin"
printf '[MAIN]\r\nLISTENING=all\r\n' >orvela_agent.ini
wine orvela_agent.exe --bind 127.0.0.2 --multicast-if 127.0.0.2 --wav "$out/agent-sound.wav" \
  --exit-after 60000 </dev/null >/dev/null 2>&1 &
agent=$!
sleep 1

wine player_emulator.exe --seconds 8 --import 127.0.0.2 --listen 127.0.0.2 --play-seconds 6 \
  --wav "$out/stream.wav" >"$out/player.txt" 2>&1 &
player=$!
sleep 4

# More computers than the browser's page holds, so its skinned scroll bar shows.
more=()
names=(ATTIC BASEMENT CELLAR DEN ENTRY FOYER GARAGE HALL ISLAND JETTY KIOSK LOFT MEZZANINE NOOK
       OFFICE PORCH QUAY ROOF STUDY TOWER UPSTAIRS VAULT WING YARD)
for i in "${!names[@]}"; do
  more+=(--peer --src "127.0.0.$((10 + i))" --comp "${names[$i]}" --user "guest$i"
         --title "Track $((i + 1))")
done

# Every second for at most 30 s: the simulator stops by itself. It starts once
# the browser has listed the agent's computer, which so comes first.
"$peersim" presence --group 225.5.5.100 --port 5145 --interval 1000 --count 30 --duration 30000 \
  --peer --src 127.0.0.3 --comp LAPTOP-7 --user ben --title "Nina Simone - Sinnerman" \
         --path 'C:\Users\ben\Music\Sinnerman.mp3' --req-port 5146 \
  --peer --src 127.0.0.4 --comp KITCHEN --user carla --title "Radio mix" --req-port 5146 \
  "${more[@]}" >"$out/peersim.txt" 2>&1 &
sim=$!
sleep 5
import -window root "$out/demo.png"
wait "$player" || true
# Exit as the tray menu's Exit does: the agent's window is asked to close.
wine taskkill.exe /im orvela_agent.exe >/dev/null 2>&1 || true
wait "$agent" || true
agent=
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
sim=
cat "$out/player.txt"
echo "screenshot: $out/demo.png"
echo "recording:  $out/stream.wav (the agent's sound: $out/agent-sound.wav)"
