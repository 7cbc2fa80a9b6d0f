#!/usr/bin/env bash
# Builds the benchmarks in release mode without sanitizers and runs them;
# then the Windows figures (tests/bench/*_winbench.cpp, from tools/build.sh's
# build) under Wine inside the rig.
# Usage: tools/bench.sh [benchmark name filter]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DORVELA_SANITIZE=OFF \
  -DORVELA_WINDOWS=OFF >/dev/null
cmake --build "$root/build-bench" -j"$(nproc)" >/dev/null
for b in "$root"/build-bench/tests/bench/*_bench; do
  [[ -x "$b" ]] || continue
  [[ -n "${1:-}" && "$(basename "$b")" != *"$1"* ]] && continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done

winbenches=()
for src in "$root"/tests/bench/*_winbench.cpp; do
  name=$(basename "$src" .cpp)
  [[ -n "${1:-}" && "$name" != *"$1"* ]] && continue
  winbenches+=("$name")
done
((${#winbenches[@]})) || exit 0
bash "$root/tools/build.sh"
# The 64-bit test build of the same sources: the emulator that hosts the
# plug-ins is built only there.
exec bash "$root/tools/rig.sh" "$root/build/wineprefix" bash -c '
  cd "$0/build/win/bin"
  (wine player_emulator.exe --seconds 0 </dev/null >/dev/null 2>&1) || true
  for b in "${@}"; do
    echo "== $b (64-bit build under Wine, in the rig)"
    # One process per case: the plug-in makes its browser once per process.
    for t in $(wine "$b.exe" --gtest_list_tests | tr -d "\r" | awk "/^[^ ]/{s=\$1} /^  /{print s \$1}"); do
      wine "$b.exe" --gtest_filter="$t" 2>&1 | grep -E "^\[bench\]|FAILED|Failure|error" || true
    done
  done' "$root" "${winbenches[@]}"
