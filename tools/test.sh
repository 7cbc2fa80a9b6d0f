#!/usr/bin/env bash
# The one command that runs every test: installs what is missing, builds,
# then runs native, fuzz and Windows tests in one ctest run inside the rig.
# Its last line gives the time of the build, of the test phase and of the
# whole run. A test runs once: one that fails fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$(date +%s)
bash "$root/tools/build.sh"
built=$(date +%s)
# Which Windows build the tests run (the delivered 32-bit one wherever this
# machine runs 32-bit code), and in which Wine prefix: the build chose it.
source "$root/build/windows-tests.sh"
echo "$says"
log="$root/build/test.log"
status=0
# Three lanes for the hosted Windows tests (tests/lane.sh), each a rig of its
# own with a copy of the rig's prefix, made from a prefix booted once.
lanes="$root/build/lanes"
lane_ids=(1 2 3)
[[ -f "$prefix/system.reg" ]] || bash "$root/tools/rig.sh" "$prefix" true
lane_pids=()
stop_lanes() {
  for id in "${lane_ids[@]}"; do touch "$lanes/$id/stop"; done
  for p in "${lane_pids[@]}"; do wait "$p" || true; done
  lane_pids=()
}
trap stop_lanes EXIT
slots=()
for id in "${lane_ids[@]}"; do
  mkdir -p "$lanes/$id"
  rm -f "$lanes/$id/env" "$lanes/$id/stop"
  if [[ ! -f "$lanes/$id/prefix/system.reg" ]]; then
    rm -rf "$lanes/$id/prefix"
    cp -a "$prefix" "$lanes/$id/prefix"
    rm -f "$lanes/$id/prefix/wineserver"*
  fi
  ORVELA_IN_RIG= bash "$root/tools/rig.sh" "$lanes/$id/prefix" \
    bash "$root/tests/lane.sh" serve "$lanes" "$id" "$bin" >"$lanes/$id/log" 2>&1 &
  lane_pids+=($!)
  slots+=("{\"id\": \"$id\", \"slots\": 1}")
done
(IFS=,; printf '{"version": {"major": 1, "minor": 0}, "local": [{"lanes": [%s]}]}\n' \
  "${slots[*]}") >"$lanes/resources.json"
for id in "${lane_ids[@]}"; do
  for _ in $(seq 600); do [[ -e "$lanes/$id/env" ]] && break; sleep 0.2; done
  [[ -e "$lanes/$id/env" ]] || { echo "lane $id did not start: $lanes/$id/log" >&2; exit 1; }
done
# The rig has started Wine's desktop process already (tools/rig.sh).
bash "$root/tools/rig.sh" "$prefix" bash -c '
  exec ctest --test-dir "$0/build" --output-on-failure -j3 \
    --resource-spec-file "$0/build/lanes/resources.json" "$@"' \
  "$root" "$@" 2>&1 | tee "$log" || status=$?
stop_lanes
ended=$(date +%s)
echo "build: $((built - started)) s; test phase: $((ended - built)) s; in all: $((ended - started)) s"
exit "$status"
