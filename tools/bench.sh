#!/usr/bin/env bash
# Builds the benchmarks in release mode without sanitizers and runs them.
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
