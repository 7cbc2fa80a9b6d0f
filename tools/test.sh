#!/usr/bin/env bash
# The one command that runs every test: installs what is missing, builds,
# then runs native, fuzz and Windows tests in one ctest run inside the rig.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/build.sh"
# Which Windows build the tests run (the delivered 32-bit one wherever this
# machine runs 32-bit code), and in which Wine prefix: the build chose it.
source "$root/build/windows-tests.sh"
echo "$says"
# Wine starts its desktop process with the first window; let a throw-away
# window start it here, so that it does not hold a test's output pipe open.
exec bash "$root/tools/rig.sh" "$prefix" bash -c '
  (cd "$1" && wine player_emulator.exe --seconds 0 </dev/null >/dev/null 2>&1) || true
  # A failed test runs once more: Wine now and then fails to start a test
  # process at all (it ends at once with no output). A second failure fails
  # the run, and the first one stays in the log.
  exec ctest --test-dir "$0/build" --output-on-failure -j2 --repeat until-pass:2 "${@:2}"' "$root" "$bin" "$@"
