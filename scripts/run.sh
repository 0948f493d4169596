#!/usr/bin/env bash
# Builds Hoardel 3D and runs it: in a window/full screen when a display is present,
# otherwise as an offscreen capture written to out/capture/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
# Only the program (and the tools its build runs to make the media), not the tests.
start=$SECONDS
cmake --build --preset default -j"$(nproc)" --target hoardel3d
echo "Built hoardel3d in $((SECONDS - start)) s"
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec build/src/hoardel3d "${@:-/t}"
else
  mkdir -p out/capture
  build/src/hoardel3d --capture out/capture --frames 300 --every 60 --size 1280x720 "$@"
  echo "No display: frames written to out/capture/"
fi
