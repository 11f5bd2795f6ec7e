#!/usr/bin/env bash
# Builds the release archive dist/Orlimo-<version>-win64.zip (CPack's ZIP generator over the
# windows preset's install rules) and checks what is in it. The version is project()'s in
# CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cpack --preset windows

version=$(sed -n 's/^project(Orlimo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
    echo "package: no version in CMakeLists.txt's project()" >&2
    exit 1
fi
tools/check_release.py "dist/Orlimo-$version-win64.zip" build/windows/release/test-programs.txt
