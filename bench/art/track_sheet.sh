#!/bin/bash
# The picture of the README: one frame of each camera track on one sheet.
#   bench/art/track_sheet.sh BUILD_DIR OUT.png
# The first track of a run is the first random number modulo the track count, so with the
# eleven tracks seeds 12, 2, 9, 6, 3, 10, 7, 4, 1, 8 and 5 open tracks 1 to 11; each column
# of the sheet is that track eight seconds in, the twelfth the orbit at its end.
set -euo pipefail
B=$(cd "$1" && pwd)
OUT=$2
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
export SDL_AUDIODRIVER=dummy HOARDEL_MESSAGEBOX=stderr
frames=()
shot() {  # seed, frame number
  "$B/src/hoardel3d" --capture "$T/s$1-$2" --frames "$2" --size 960x540 --dt 0.0667 --seed "$1" --time 21:45:00
  frames+=("$T/s$1-$2/frame-$(printf %04d "$2").png")
}
for s in 12 2 9 6 3 10 7 4 1 8 5; do shot "$s" 120; done
shot 12 420
SHEET=$B/bench/art/contact_sheet
[ -x "$SHEET" ] || SHEET=$(command -v contact_sheet)
"$SHEET" "$OUT" 4 3 "${frames[@]}"
