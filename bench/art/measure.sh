#!/bin/bash
# What the camera shows, measured on the program's own captures.
#   bench/art/measure.sh BUILD_DIR OUT_DIR [SEED...]
# Builds a second program from BUILD_DIR's objects whose scene archive holds the treasure-mask
# media (hoardel-mediagen --mask: green gold, blue gems, cyan chest, all else black), captures
# both programs over one loop of all tracks per seed (960x540, --dt 0.0667, a frame a second)
# and prints the treasure census of each seed (the hue only holds while both runs play the same
# track order: compare the frames, see treasure_census.cpp). Also puts the first pictures of seeds 1-20 on
# one sheet. Needs the tools of bench/art built into BUILD_DIR/bench/art
# or on PATH (treasure_census, contact_sheet), and the default build's hoardel3d.
set -euo pipefail
B=$(cd "$1" && pwd)
OUT=$2
shift 2
SEEDS=${*:-1 2}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
tool() { if [ -x "$B/bench/art/$1" ]; then echo "$B/bench/art/$1"; else command -v "$1"; fi; }
CENSUS=$(tool treasure_census)
export SDL_AUDIODRIVER=dummy HOARDEL_MESSAGEBOX=stderr

# The mask program: the same objects, archive 469 packed from the mask media.
W=$OUT/mask-build
rm -rf "$W" && mkdir -p "$W"
"$B/tools/mediagen/hoardel-mediagen" --mask --out "$W/files" >/dev/null
args=()
IFS=';' read -ra members <<< "$(sed -n 's/^HOARDEL_MEDIA_469_MEMBERS:INTERNAL=//p' "$B/CMakeCache.txt")"
for m in "${members[@]}"; do args+=("$m=$W/files/469/$m"); done
SOURCE_DATE_EPOCH=1009843200 TZ=UTC "$B/tools/rar/hoardel-rar" pack --solid "$W/469.rar" "${args[@]}" >/dev/null
sed "s#$B/media/469.rar#$W/469.rar#" "$B/src/hoardel_resources.S" > "$W/resources.S"
cc -c "$W/resources.S" -o "$W/resources.o"
link=$(sed "s#CMakeFiles/hoardel_resources.dir/hoardel_resources.S.o#$W/resources.o#; s# -o hoardel3d # -o $W/hoardel3d #" \
  "$B/src/CMakeFiles/hoardel3d.dir/link.txt")
(cd "$B/src" && eval "$link")

# One loop of all tracks: their total time, from the generator's report.
seconds=$("$B/tools/mediagen/hoardel-mediagen" --stats | sed -n 's/^all tracks: \([0-9.]*\) s/\1/p')
frames=$(awk -v s="$seconds" 'BEGIN { print int(s / 0.0667 / 15 + 1) * 15 }')
for s in $SEEDS; do
  "$B/src/hoardel3d" --capture "$OUT/s$s" --frames "$frames" --every 15 --size 960x540 --dt 0.0667 --seed "$s"
  "$W/hoardel3d" --capture "$OUT/mask-s$s" --frames "$frames" --every 15 --size 960x540 --dt 0.0667 --seed "$s"
  echo "seed $s: $("$CENSUS" "$OUT/mask-s$s" "$OUT/s$s"/frame-*.png | tail -1)"
done

# Opening tracks: the first picture of seeds 1-20 on one sheet, to count the distinct ones.
for s in $(seq 1 20); do
  "$B/src/hoardel3d" --capture "$OUT/open-s$s" --frames 1 --size 320x180 --seed "$s"
done
"$(tool contact_sheet)" "$OUT/openings.png" 5 1 $(for s in $(seq 1 20); do echo "$OUT/open-s$s/frame-0001.png"; done)
echo "first pictures of seeds 1-20: $OUT/openings.png"
