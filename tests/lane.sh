#!/usr/bin/env bash
# Lanes let the hosted Windows tests run side by side. A lane is a computer of
# its own in the rig: a network namespace with only loopback, a display, a
# Wine prefix (so a wineserver, whose named objects nobody else sees) and a
# copy of the test binaries (whose folder holds the settings files the tests
# write). ctest hands each laned test a lane through its resource groups.
#   tests/lane.sh serve LANES_DIR ID MAIN_BIN
#       makes lane ID and keeps it until LANES_DIR/ID/stop appears; run it
#       as the command of tools/rig.sh, whose namespace and display it keeps
#   tests/lane.sh run LANES_DIR MAIN_BIN COMMAND [ARGS...]
#       runs a test's command: in the lane ctest gave it, its paths into the
#       main binaries moved to the lane's copy; or, when ctest gave none (a
#       run without the lanes' resource file), here, one laned test at a time
set -euo pipefail

case "$1" in
serve)
  lanes=$2 id=$3 main_bin=$4
  dir="$lanes/$id"
  rm -rf "$dir/bin"
  cp -a "$main_bin" "$dir/bin"
  {
    for v in WINEPREFIX DISPLAY PATH WINEDEBUG WINEDLLOVERRIDES; do
      printf 'export %s=%q\n' "$v" "${!v}"
    done
    printf 'lane_net=/proc/%s/ns/net\n' "$$"
    printf 'lane_bin=%q\n' "$dir/bin"
  } >"$dir/env.tmp"
  mv "$dir/env.tmp" "$dir/env"
  while [[ ! -e "$dir/stop" ]]; do sleep 0.2; done
  ;;
run)
  lanes=$2 main_bin=$3
  shift 3
  if [[ -z "${ORVELA_LANED:-}" ]]; then exec "$@"; fi
  lane=${CTEST_RESOURCE_GROUP_0_LANES:-}
  if [[ -z "$lane" ]]; then
    mkdir -p "$lanes"
    exec flock "$lanes/alone.lock" "$@"
  fi
  lane=${lane#id:}
  lane=${lane%%,*}
  # shellcheck source=/dev/null
  source "$lanes/$lane/env"
  args=()
  for a in "$@"; do args+=("${a//"$main_bin"/"$lane_bin"}"); done
  cd "${PWD//"$main_bin"/"$lane_bin"}"
  # Wine's own errors go to the test's output, which ctest shows only for a
  # failed test; so does the status of a program that ended without a word.
  export WINEDEBUG=err+all
  set +e
  nsenter --net="$lane_net" -- "${args[@]}"
  status=$?
  [[ $status == 0 ]] || echo "lane $lane: ${args[*]:0:2}... ended with status $status" >&2
  exit "$status"
  ;;
*)
  echo "usage: lane.sh serve|run ..." >&2
  exit 2
  ;;
esac
