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
    echo "run: starting $exe under Wine on display $DISPLAY"
    exec wine "$exe"
fi
echo "run: no X display available; starting $exe under Wine on a virtual display (Xvfb)"
exec tools/wine-env.sh bash -c 'echo "run: virtual display $DISPLAY, prefix $WINEPREFIX"; wine "$0"; echo "run: Orlimo exited with $?"' "$exe"
