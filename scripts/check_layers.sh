#!/usr/bin/env bash
# Checks that the folders under src/ include one another only downwards: each folder may
# include the folders listed for it (and itself), nothing else. Exits 1 and names each
# include that breaks the order.
set -euo pipefail
cd "$(dirname "$0")/../src"
declare -A allowed=(
  [platform/win32]=""
  [platform/audio]="platform/win32"
  [platform/d3d8]="platform/win32"
  [platform/xfile]="platform/win32"
  [platform/d3dx]="platform/win32 platform/d3d8 platform/xfile"
  [media]="platform/win32"
  [camera]="platform/win32 platform/d3dx platform/d3d8"
  [config]="platform/win32 media"
  [sound]="platform/win32 platform/audio config"
  [model]="platform/win32 platform/d3d8 platform/d3dx platform/xfile"
  [effects]="platform/win32 platform/d3d8 platform/d3dx model"
  [host]="platform/win32 platform/d3d8 platform/d3dx media config"
  [scene]="platform/win32 platform/d3d8 platform/d3dx platform/xfile media config camera sound model effects host"
  [.]="scene"
)
status=0
# A new folder needs its place in the order first.
for dir in */ platform/*/; do
  dir=${dir%/}
  [[ $dir == platform ]] && continue
  [[ -v "allowed[$dir]" ]] || { echo "layers: src/$dir has no place in the order (add it to $0)"; status=1; }
done
for folder in "${!allowed[@]}"; do
  [[ -d "$folder" ]] || { echo "layers: no folder src/$folder"; status=1; continue; }
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
    [[ $target == */* ]] || continue
    top=${target%%/*}
    [[ $top == platform ]] && top=platform/$(cut -d/ -f2 <<<"$target")
    [[ $top == "$folder" ]] && continue
    [[ " ${allowed[$folder]} " == *" $top "* ]] && continue
    echo "layers: src/$file includes \"$target\" ($folder may include: ${allowed[$folder]:-nothing else})"
    status=1
  done < <(grep -H '^#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
done
[[ $status -eq 0 ]] && echo "layers: every include runs downwards"
exit $status
