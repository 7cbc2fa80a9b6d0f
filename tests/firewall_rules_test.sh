#!/usr/bin/env bash
# The installer's firewall rules cover every port each program binds for
# what other computers send it unasked. Each place in the product that binds
# a socket is listed below with its program and the port constant it binds
# (a new one fails here until it is listed); the values come from the
# protocol header, the rules from the installer's script. Sockets bound to
# no port (the stream, the playlist and permission requests) only hear the
# answers to what they sent, which the firewall lets through.
# Usage: firewall_rules_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
declare -A binds=(
  [agent/worker_win.cpp]="orvela_agent.exe kDefaultRequestPort kDefaultGroupPort"
  [peers/presence_win.cpp]="winamp.exe kDefaultGroupPort"
)
fail=0
constant() { sed -nE "s/.*constexpr .* $1 = \"?([0-9]+)\"?;.*/\1/p" wire/protocol.h; }
# The inbound rules the installer adds: "program localport".
rules=$(grep -E 'add rule .*dir=in' installer/orvela.nsi |
  sed -nE 's/.*localport=([0-9,]+).*program="[^"]*\\([^"\\]+)".*/\2 \1/p')
[[ -n "$rules" ]] || { echo "no inbound rules found in installer/orvela.nsi"; exit 1; }

while read -r file; do
  [[ -n "${binds[$file]+x}" ]] || { echo "$file binds a socket that no rule check covers"; fail=1; }
done < <(git grep -l -E '\bbind\(' -- '*.cpp' ':!tests' ':!tools' | sort -u)

for file in "${!binds[@]}"; do
  read -r program names <<<"${binds[$file]}"
  for name in $names; do
    port=$(constant "$name")
    [[ -n "$port" ]] || { echo "$name is not in wire/protocol.h"; fail=1; continue; }
    if ! awk -v p="$program" -v port="$port" '$1 == p { n = split($2, a, ","); for (i = 1; i <= n; i++) if (a[i] == port) found = 1 } END { exit !found }' <<<"$rules"; then
      echo "$program binds $name ($port) in $file, and no inbound rule of its lets it in"
      fail=1
    fi
  done
done
((fail == 0)) && echo "every port a program binds has its inbound rule:" $rules
exit $fail
