#!/usr/bin/env bash
# Builds Orlimo.exe and starts it under Wine: on the current X display when there is one,
# otherwise on a private virtual display (Xvfb), which this script says when it does so.
# The program lives in the notification area; end it with its tray menu or Ctrl+C here.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Orlimo

exe="$PWD/build/windows/bin/Orlimo.exe"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    # A prefix of its own, kept between runs in the build folder. With Mono and Gecko off, as in
    # the tests, making it on the first run asks to install neither.
    export WINEPREFIX="$PWD/build/wine-prefix" WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
    echo "run: starting $exe under Wine on display $DISPLAY (prefix $WINEPREFIX)"
    exec wine "$exe"
fi
echo "run: no X display available; starting $exe under Wine on a virtual display (Xvfb)"
exec tools/wine-env.sh bash -c 'echo "run: virtual display $DISPLAY, prefix $WINEPREFIX"; wine "$0"; echo "run: Orlimo exited with $?"' "$exe"
