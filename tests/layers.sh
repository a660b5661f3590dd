#!/bin/bash
# layers.sh [ROOT]: the house's floors hold. Each room (a folder of the
# code) may include its own headers and those of the rooms below it that it
# names here, nothing else: no include runs upward or sideways into a room
# it does not build on. And no room holds more than a quarter of the code
# lines, so that none becomes a storeroom again.
#
#   products   Installer  Uninstaller (also on the installer's base forms,
#              rules and texts)  Tools/setupkit (also on the installer's
#              portable texts and rules: what a setup will show)
#   windows    Toolkit
#   model      setup_model  Net
#   services   Xml  Pe  System
#   base       Common
#
# Prints each violation as FILE: includes HEADER (ROOM) and exits 1.
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

declare -A uses=(
  [Common]=""
  [Xml]="Common"
  [Pe]="Common"
  [System]="Common"
  [Net]="Common Xml"
  [setup_model]="Common Xml Pe"
  [Toolkit]="Common System"
  [Installer]="Common Xml Pe System Net setup_model Toolkit"
  [Uninstaller]="Common Xml Pe System setup_model Toolkit Installer"
  [Tools/setupkit]="Common Xml Pe setup_model Installer"
)

# Which room each header of the project lives in.
declare -A home=()
for room in "${!uses[@]}"; do
  for header in "$room"/*.h; do
    [[ -e $header ]] || continue
    name=${header##*/}
    if [[ -n ${home[$name]:-} ]]; then
      echo "layers: $name stands in both ${home[$name]} and $room" >&2
      exit 1
    fi
    home[$name]=$room
  done
done

bad=0
total=0
declare -A lines=()
for room in "${!uses[@]}"; do
  count=0
  for file in "$room"/*.cpp "$room"/*.h; do
    [[ -e $file ]] || continue
    count=$((count + $(wc -l <"$file")))
    while IFS= read -r header; do
      target=${home[$header]:-}
      [[ -n $target && $target != "$room" ]] || continue
      if [[ " ${uses[$room]} " != *" $target "* ]]; then
        echo "$file: includes $header ($target), which $room does not build on"
        bad=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" | sed 's|.*/||')
  done
  lines[$room]=$count
  total=$((total + count))
done

for room in "${!lines[@]}"; do
  if ((lines[$room] * 4 > total)); then
    echo "$room holds ${lines[$room]} of $total code lines, more than a quarter"
    bad=1
  fi
done
if [[ $bad -eq 0 ]]; then
  echo "layers: ${#uses[@]} rooms, $total code lines, no include runs upward"
fi
exit "$bad"
