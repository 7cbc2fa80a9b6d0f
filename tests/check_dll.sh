#!/usr/bin/env bash
# Checks that each plug-in DLL exports exactly its one entry point, that a
# program given with an empty EXPORT exports nothing, and that all of them
# import nothing but system DLLs (no mingw runtime DLL).
# Usage: check_dll.sh OBJDUMP FILE EXPORT [FILE EXPORT ...]
set -u
objdump=$1; shift
system='^(kernel32|user32|gdi32|ws2_32|comctl32|shell32|msvcrt|advapi32|msacm32|winmm|ole32|comdlg32|wtsapi32)\.dll$'
status=0
while [[ $# -ge 2 ]]; do
  dll=$1 want=$2; shift 2
  dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; status=1; continue; }
  exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} on{on=0}' <<<"$dump")
  if [[ "$exports" != "$want" ]]; then
    echo "$(basename "$dll"): exports [$(echo $exports)], expected [$want]"
    status=1
  fi
  while read -r name; do
    if ! [[ "${name,,}" =~ $system ]]; then
      echo "$(basename "$dll"): imports non-system DLL $name"
      status=1
    fi
  done < <(awk '/DLL Name:/{print $3}' <<<"$dump")
  echo "$(basename "$dll"): exports ${want:-nothing}; imports $(awk '/DLL Name:/{printf "%s ", $3}' <<<"$dump")"
done
exit $status
