#!/usr/bin/env bash
# Runs a command inside the test rig: a private network namespace with only
# loopback (multicast routed to it), an Xvfb display, and a wineserver that
# lives inside the namespace, so every socket Wine makes stays in it.
#   tools/rig.sh WINEPREFIX COMMAND [ARGS...]
set -euo pipefail

if [[ "${ORVELA_IN_RIG:-}" != 1 ]]; then
  exec unshare --net -- env ORVELA_IN_RIG=1 "$0" "$@"
fi

mkdir -p "$1"
export WINEPREFIX=$(cd "$1" && pwd); shift
export PATH="$(cd "$(dirname "$0")" && pwd)/wine-bin:$PATH"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ip link set lo up
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo

# A wineserver of the same prefix started outside would own sockets outside
# the namespace: end any before starting ours.
wineserver -k 2>/dev/null || true

displayfd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfd_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$displayfd_file" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$displayfd_file")"
rm -f "$displayfd_file"

cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  wine wineboot.exe --init >/dev/null 2>&1 || true
  wineserver -w || true # let the first boot write the prefix and end
fi
wineserver -p
# Wine's helper processes (services, explorer) start with the first program
# and outlive it; start them here so they hold /dev/null, not a test's pipe.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

set +e
"$@"
status=$?
set -e
exit $status
