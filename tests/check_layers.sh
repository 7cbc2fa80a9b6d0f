#!/usr/bin/env bash
# Folders depend in one direction: a file includes its own folder or folders
# below it, never one above or beside it. The order, bottom first; folders
# on one line share a level and never include each other.
set -euo pipefail
cd "$1"
levels=(
  "sdk base"
  "wire codec"
  "player scrollskin"
  "instream peers"
  "agent"
  "browser"
  "gen_orvela in_orvela orvela_agent"
)
declare -A level
for i in "${!levels[@]}"; do
  for d in ${levels[$i]}; do level[$d]=$i; done
done

bad=0
for dir in "${!level[@]}"; do
  [[ -d "$dir" ]] || continue
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([a-z_0-9]+)\/.*/\1/' <<<"$text")
    [[ "$target" == "$dir" ]] && continue
    if [[ -z "${level[$target]+x}" ]]; then
      echo "$file:$line: includes $target/, which is not a product folder" ; bad=1
    elif (( level[$target] >= level[$dir] )); then
      echo "$file:$line: $dir/ includes $target/, which is not below it"; bad=1
    fi
  done < <(git grep -n -E '^\s*#\s*include\s+"[a-z_0-9]+/' -- "$dir" || true)
done
# Each folder's code lives in the namespace named after the folder, or in
# none. (The player's interface in sdk/ keeps the player's own; owner_kinds
# holds the kinds of base's owners.)
while IFS=: read -r file line text; do
  dir=${file%%/*} name=$(sed -E 's/^namespace ([A-Za-z_0-9]+).*/\1/' <<<"$text")
  [[ "$name" == "$dir" || "$dir" == sdk || "$dir/$name" == base/owner_kinds ]] && continue
  echo "$file:$line: namespace $name in $dir/"; bad=1
done < <(git grep -n -E '^namespace [A-Za-z_0-9]+ \{' -- "${!level[@]}" || true)
if (( bad )); then exit 1; fi
echo "include layers: every include goes down; namespaces follow folders"
