#!/usr/bin/env bash
# Runs a command inside the test rig: a private network namespace with only
# loopback (multicast routed to it), an Xvfb display, and a wineserver that
# lives inside the namespace, so every socket Wine makes stays in it.
#   tools/rig.sh WINEPREFIX COMMAND [ARGS...]
# One computer of a LAN in the rig (tests/lan_test.sh makes them) runs in a
# namespace that the caller made and linked: ORVELA_RIG_LINKED names a file
# that appears once its links are up. ORVELA_RIG_SOUND=1 adds a sound server
# with a null output, whose monitor is a recording device.
set -euo pipefail

# Wine maps its shared user data at a fixed address just below 2 GB, and the
# kernel puts the heap of Wine's loader at a random place above the loader, up
# to a gigabyte: about one start in some thousands the two meet, and the
# program ends at once ("failed to map the shared user data"). Everything in
# the rig runs without address randomisation, so a start never fails by luck.
if (( (0x$(cat /proc/self/personality) & 0x40000) == 0 )); then
  exec setarch "$(uname -m)" --addr-no-randomize bash "$0" "$@"
fi
if [[ "${ORVELA_IN_RIG:-}" != 1 ]]; then
  exec unshare --net -- env ORVELA_IN_RIG=1 "$0" "$@"
fi

mkdir -p "$1"
export WINEPREFIX=$(cd "$1" && pwd); shift
export PATH="$(cd "$(dirname "$0")" && pwd)/wine-bin:$PATH"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ip link set lo up
if [[ -n "${ORVELA_RIG_LINKED:-}" ]]; then
  for _ in $(seq 300); do [[ -e "$ORVELA_RIG_LINKED" ]] && break; sleep 0.1; done
else
  ip link set lo multicast on
  ip route add 224.0.0.0/4 dev lo
fi

# A wineserver of the same prefix started outside would own sockets outside
# the namespace: end any before starting ours.
wineserver -k 2>/dev/null || true

displayfd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfd_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$displayfd_file" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$displayfd_file")"
rm -f "$displayfd_file"

sound_dir=
if [[ "${ORVELA_RIG_SOUND:-}" == 1 ]]; then
  # PulseAudio of this computer alone: its own runtime folder, no X11 or D-Bus.
  sound_dir=$(mktemp -d)
  export XDG_RUNTIME_DIR="$sound_dir" PULSE_RUNTIME_PATH="$sound_dir/pulse" XDG_CONFIG_HOME="$sound_dir"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --log-target=stderr \
    -L module-null-sink -L module-native-protocol-unix >/dev/null 2>&1
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
fi

cleanup() {
  [[ -n "$sound_dir" ]] && { pulseaudio -k 2>/dev/null || true; rm -rf "$sound_dir"; }
  wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  wine wineboot.exe --init >/dev/null 2>&1 || true
  wineserver -w || true # let the first boot write the prefix and end
elif [[ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]] &&
  /usr/lib/wine/wine --version >/dev/null 2>&1; then
  # A prefix made before 32-bit Wine was installed lacks its 32-bit files.
  wine wineboot.exe --update >/dev/null 2>&1 || true
  wineserver -w || true
fi
wineserver -p
# Wine ends its desktop process a second after the last program that uses the
# desktop ends, and the next program's first window starts a new one. Started
# by a test, that one holds the test's output open after the test ended, and
# one that ends while a test starts takes the test's windows with it. A
# console that waits on a pipe only this script writes keeps the desktop for
# the rig's life. Once it runs (it answers a line), a window made here starts
# the desktop if the boot has not yet: else a loaded machine lets the first
# test's window start it, with the test's output.
keeper=$(mktemp -u)
mkfifo "$keeper"
wine cmd.exe <"$keeper" >/dev/null 2>&1 &
exec 9>"$keeper"
rm -f "$keeper"
ready=$(mktemp -u)
echo "echo.>Z:${ready//\//\\}" >&9
for _ in $(seq 600); do [[ -e "$ready" ]] && break; sleep 0.1; done
[[ -e "$ready" ]] || { echo "rig: Wine's console did not start" >&2; exit 1; }
rm -f "$ready"
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true

set +e
"$@"
status=$?
set -e
exit $status
