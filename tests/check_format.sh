#!/usr/bin/env bash
# Fails when any C++ file that git tracks differs from what clang-format makes
# of it with the project's .clang-format; lists the files that do.
# Usage: check_format.sh SOURCE_DIR
set -u
cd "$1" || exit 1
mapfile -t files < <(git ls-files '*.cpp' '*.h')
# One clang-format for every file; only when it finds something does each
# file get a run of its own, to name it.
clang-format --dry-run --Werror "${files[@]}" >/dev/null 2>&1 && exit 0
status=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f (clang-format -i $f)"
    status=1
  fi
done
exit $status
