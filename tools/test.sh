#!/usr/bin/env bash
# The one command that runs every test: installs what is missing, builds,
# then runs native, fuzz and Windows tests in one ctest run inside the rig.
# Its last lines give the time of the build and of the test phase, and name
# every test that passed only on its second try.
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
# Wine starts its desktop process with the first window; let a throw-away
# window start it here, so that it does not hold a test's output pipe open.
# A failed test runs once more, and is named at the end: a retry is a fault
# to find, never a pass to forget.
bash "$root/tools/rig.sh" "$prefix" bash -c '
  (cd "$1" && wine player_emulator.exe --seconds 0 </dev/null >/dev/null 2>&1) || true
  exec ctest --test-dir "$0/build" --output-on-failure -j2 --repeat until-pass:2 "${@:2}"' \
  "$root" "$bin" "$@" 2>&1 | tee "$log" || status=$?
ended=$(date +%s)
# A test's result lines, first try and second: one that failed and then
# passed needed the retry.
retried=$(awk '/Test +#[0-9]+: / {
    for (i = 1; i <= NF; ++i) if ($i ~ /^#[0-9]+:$/) name = $(i + 1)
    passed = $0 ~ / Passed /; if (!passed) failed[name] = 1; last[name] = passed }
  END { for (n in failed) if (last[n]) print n }' "$log" | sort)
echo "build: $((built - started)) s; test phase: $((ended - built)) s"
if [[ -n "$retried" ]]; then
  echo "passed only on the second try (a fault to find):"
  sed 's/^/  /' <<<"$retried"
fi
exit "$status"
