#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages only (Debian 12 and 13).
# Safe to run again: apt is only called when something is missing.
set -euo pipefail

packages=(
    cmake make g++ python3 clang-format clang-tidy
    googletest libgtest-dev libgmock-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine wine64 xvfb x11-utils xdotool imagemagick pulseaudio pulseaudio-utils ffmpeg
    libyuv-dev clang
    # Recommended by Wine rather than required, so named here: its fonts, and the X extensions
    # its display driver loads when present (monitors, layered windows, cursors, clipboard,
    # raw mouse input).
    fonts-wine fonts-liberation
    libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1
)

# libFuzzer comes with the runtime of the release's own clang (14 on Debian 12, 19 on 13).
clang_runtime() {
    local version
    version=$(dpkg-query -W -f='${Version}' clang 2>/dev/null || true)
    if [ -z "$version" ]; then
        version=$(apt-cache show --no-all-versions clang 2>/dev/null | sed -n 's/^Version: //p' | head -n1)
    fi
    version=${version#*:}
    if [ -n "$version" ]; then
        echo "libclang-rt-${version%%.*}-dev"
    fi
}

missing_packages() {
    local package
    for package in "${packages[@]}" $(clang_runtime); do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}

if [ -n "$(clang_runtime)" ] && [ -z "$(missing_packages)" ]; then
    echo "setup: all packages present"
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
# After the update, so that a fresh machine knows which clang its release has.
mapfile -t missing < <(missing_packages)
echo "setup: installing ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
