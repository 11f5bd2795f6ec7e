#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages only (Debian 12 and 13).
# Safe to run again: apt is only called when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ python3
    # One clang for both releases: the lint's clang-format and clang-tidy, and the fuzz preset's
    # compiler with its libFuzzer runtime.
    clang-format-19 clang-tidy-19 clang-19 libclang-rt-19-dev
    googletest libgtest-dev libgmock-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb x11-utils pulseaudio pulseaudio-utils
    libyuv-dev
    # The MP4 finisher's tests make fragmented files with it and read them back with ffprobe.
    ffmpeg
    # Recommended by Wine rather than required, so named here: its fonts, and the X extensions
    # its display driver loads when present (monitors, layered windows, cursors, clipboard,
    # raw mouse input).
    fonts-wine fonts-liberation
    libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1
)

missing_packages() {
    local package
    for package in "${packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}

if [ -z "$(missing_packages)" ]; then
    echo "setup: all packages present"
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
mapfile -t missing < <(missing_packages)
echo "setup: installing ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
