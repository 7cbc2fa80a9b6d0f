#!/usr/bin/env bash
# Two computers on one link, each its own network namespace with its own
# host name, user, Wine server, prefix, display and sound server, running
# the player emulator with both plug-ins and the agent started as a user
# starts it. Each also has a second interface that holds its default route,
# so presence crosses only if the agent and the browser use every interface.
# Nothing is sent outside the namespaces made here.
#   tests/lan_test.sh BUILD_DIR
# With ORVELA_DEMO_OUT set (tools/demo.sh), each computer's screen is saved
# there while both list each other, with B's recording.
# PC-A plays a tune into its sound server; its agent shares the null
# output's monitor as the recording device its settings name, with PC-B
# allowed to listen. PC-B lists
# A with its names and title, imports A's playlist (the entries its Music
# share reaches), listens to A and records, stops; then changes its user
# group, and A finds B in the new group only.
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
root=$(cd "$(dirname "$0")/.." && pwd)

if [[ "${1:-}" == --computer ]]; then # inside one computer's rig
  name=$2 dir=$3 work=$4 peersim=$5
  cd "$dir"
  udp_no_ports() { awk '/^Udp:/ { if (seen++) { print $3; exit } }' /proc/net/snmp; }
  wait_for() { for _ in $(seq 600); do [[ -e "$1" ]] && return 0; sleep 0.2; done; return 1; }
  [[ -n "${ORVELA_DEMO_OUT:-}" ]] && (sleep 12 && import -window root "$ORVELA_DEMO_OUT/$name.png") &
  if [[ $name == PC-A ]]; then
    # Asking, as by default, with B allowed: B is known by the name its agent
    # announces and its address, both.
    printf '[MAIN]\r\nSOUND_SOURCE=Monitor of Null Output\r\nALLOWED=PC-B@10.77.0.2\r\n' \
      >orvela_agent.ini
    wine orvela_agent.exe </dev/null >/dev/null 2>&1 &
    wine player_emulator.exe --seconds 25 --expect 10.77.0.2 </dev/null >player1.txt 2>&1 &
    player=$!
    sleep 2
    date +%s%3N >tune-start
    paplay "$work/tune.wav" &
    wait "$player" || true
    wait_for "$work/group-changed"
    sleep 3 # B's agent announces on its new group within a second or two
    "$peersim" listen --group 225.5.5.100 --port 5145 --if 10.77.0.1 --ms 3000 >old-group.txt
    "$peersim" listen --group 225.5.5.7 --port 5145 --if 10.77.0.1 --ms 3000 >new-group.txt
    printf '[MAIN]\r\nCHANNEL=7\r\n' >Plugins/gen_orvela.ini
    wine player_emulator.exe --seconds 1 --expect 10.77.0.2 </dev/null >player2.txt 2>&1 || true
    touch "$work/done"
  else
    mkdir -p "$WINEPREFIX/dosdevices/unc/PC-A"
    ln -sfn "$work/share" "$WINEPREFIX/dosdevices/unc/PC-A/Music"
    wine orvela_agent.exe </dev/null >/dev/null 2>&1 &
    sleep 6 # A's player has written its title, and A's agent announced it
    wine player_emulator.exe --seconds 2 --import 10.77.0.1 --listen 10.77.0.1 --play-seconds 8 \
      --wav "$dir/recording.wav" </dev/null >player1.txt 2>&1 || true
    # Stopped: nothing more may reach this computer's closed stream port.
    sleep 1
    before=$(udp_no_ports)
    sleep 2
    echo "datagrams to closed ports after Stop: $(($(udp_no_ports) - before))" >stopped.txt
    wine player_emulator.exe --seconds 25 --group 7 </dev/null >player2.txt 2>&1 &
    player=$!
    sleep 4
    touch "$work/group-changed"
    wait_for "$work/done" || true
    wait "$player" || true
  fi
  exit 0
fi

build=$(cd "$1" && pwd)
bin=${ORVELA_TEST_BIN:-$build/win/bin}
peersim="$build/tools/peersim"
work=$(mktemp -d)
pids=()
failed=1
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if ((failed)); then echo "kept for a look: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
"$peersim" wav --out "$work/tune.wav" --seconds 30
mkdir -p "$work/share"
echo tune >"$work/share/Nina Simone - Feeling Good.mp3"
echo tune >"$work/share/Miles Davis - So What.mp3"

start() { # NAME USER
  local dir="$work/$1"
  mkdir -p "$dir/Plugins" "$build/lan"
  cp "$bin"/{player_emulator.exe,gen_orvela.dll,in_orvela.dll,orvela_agent.exe} "$dir/"
  # A copy of the test prefix serves under another host name.
  [[ -f "$build/lan/$1/system.reg" ]] || cp -a "$build/wineprefix" "$build/lan/$1"
  rm -f "$build/lan/$1/wineserver"*
  USER=$2 ORVELA_IN_RIG=1 ORVELA_RIG_LINKED="$dir.up" ORVELA_RIG_SOUND=1 \
    unshare --net --uts -- bash -c 'hostname "$0" && exec "$@"' "$1" \
    bash "$root/tools/rig.sh" "$build/lan/$1" bash "$self" --computer "$1" "$dir" "$work" \
    "$peersim" >"$dir.log" 2>&1 &
  pids+=($!)
}
link() { # PID LINK ADDRESS WAN_ADDRESS
  nsenter -t "$1" -n sh -e -c "
    ip addr add $3/24 dev $2 && ip link set $2 up
    ip link add wan0 type veth peer name wan1 && ip link set wan1 up
    ip addr add $4/24 dev wan0 && ip link set wan0 up
    ip route add default via ${4%.*}.254 dev wan0"
}
start PC-A alice
start PC-B bob
sleep 0.5
ip link add lanA type veth peer name lanB
ip link set lanA netns "${pids[0]}"
ip link set lanB netns "${pids[1]}"
link "${pids[0]}" lanA 10.77.0.1 10.88.1.1
link "${pids[1]}" lanB 10.77.0.2 10.88.2.1
touch "$work/PC-A.up" "$work/PC-B.up"
wait "${pids[@]}" || true
pids=()

A="$work/PC-A" B="$work/PC-B" failed=0
check() { # WHAT FILE PATTERN
  if grep -q -E "$3" "$2" 2>/dev/null; then echo "ok: $1"; else
    echo "FAILED: $1 (no /$3/ in $(basename "$2"))"; cat "$2" 2>/dev/null; failed=1; fi
}
[[ -n "${ORVELA_DEMO_OUT:-}" ]] && cp "$B/recording.wav" "$ORVELA_DEMO_OUT/lan-recording.wav" 2>/dev/null
check "A is listed on B with its names and title" "$B/player1.txt" \
  'Row of 10\.77\.0\.1: PC-A \| alice \| Miles Davis - So What'
check "B is listed on A" "$A/player1.txt" 'Row of 10\.77\.0\.2: PC-B \| bob'
check "B imports the two entries of A's playlist that it reaches" "$B/player1.txt" \
  'Playlist of PC-A \(10\.77\.0\.1\): 2 entries imported'
check "a double-click on B plays A's stream" "$B/player1.txt" 'first sound [0-9]+ ms'
check "Stop ends A's stream" "$B/stopped.txt" 'after Stop: 0$'
check "B moved to user group 7" "$B/player2.txt" 'user group 7: chosen'
check "B's computer announces on group 7" "$A/new-group.txt" '^heard 10\.77\.0\.2 PC-B'
if grep -q '10\.77\.0\.2' "$A/old-group.txt"; then
  echo "FAILED: B still announces on its old group"; failed=1
else echo "ok: B's computer left group 100"; fi
check "A in group 7 lists B" "$A/player2.txt" 'Row of 10\.77\.0\.2: PC-B'
if [[ -f "$B/recording.wav" ]]; then
  compare=$("$peersim" compare --reference "$work/tune.wav" --recording "$B/recording.wav" \
    --min-snr 20) && echo "ok: B recorded what A played" || { echo "FAILED: the recording"; failed=1; }
  echo "$compare"
  # The first sound reached B's output at a wall-clock time; the tune's frame
  # it carried had been played on A at the tune's start plus that frame's time.
  first=$(sed -n -E 's/.*wall clock ([0-9]+) ms.*/\1/p' "$B/player1.txt")
  frame_ms=$(sed -n -E 's/.*\((-?[0-9.]+) ms\).*/\1/p' <<<"$compare")
  start_ms=$(cat "$A/tune-start")
  awk -v f="$first" -v s="$start_ms" -v m="$frame_ms" \
    'BEGIN { printf "end-to-end delay from A'"'"'s sound to B'"'"'s output: %.0f ms\n", f - s - m }'
  grep -h 'first sound' "$B/player1.txt"
else
  echo "FAILED: B recorded nothing"; failed=1
fi
if ((failed)); then
  for f in "$A.log" "$B.log" "$A/player1.txt" "$B/player1.txt"; do echo "== $f"; cat "$f"; done
fi
exit $failed
