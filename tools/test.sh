#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the portable logic with ASan and UBSan and
# runs its unit tests natively, checks the format and the clang-tidy findings, cross-builds the
# Windows program and its tests, packs and checks the release archive, and runs the Windows tests
# under Wine on a private virtual display: once with a PulseAudio server (the tests that need a
# sound device) and once without (everything else). Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh

echo "== Native unit tests (ASan + UBSan)"
cmake --preset native-ci >/dev/null
cmake --build --preset native-ci
ctest --preset native-ci

echo "== Style: clang-format and clang-tidy"
tools/lint.sh

echo "== Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows

echo "== Release archive"
tools/package.sh

echo "== Windows tests under Wine with a PulseAudio null sink"
ORLIMO_PULSE=1 tools/wine-env.sh ctest --preset windows -R 'Pulse'

echo "== Windows tests under Wine"
tools/wine-env.sh ctest --preset windows -E 'Pulse'
