#!/usr/bin/env bash
# Runs one command inside a private Wine desktop and tears everything down afterwards:
#   a fresh WINEPREFIX (with HOME and XDG_RUNTIME_DIR of its own), Xvfb on a free display,
#   a wineserver kept alive for the whole command, and, with ORLIMO_PULSE=1, a PulseAudio
#   server with a null sink. Crash dialogs are off so a crashing program exits at once.
# Usage: [ORLIMO_SCREEN=WxHxDEPTH] tools/wine-env.sh <command> [args...]
# ORLIMO_SCREEN sets the virtual display (default 1280x1024x24).
# The command sees WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES (and PULSE_SERVER).
# When start-up fails, the logs of Xvfb, PulseAudio and wineboot are kept and their folder named.
set -euo pipefail

screen="${ORLIMO_SCREEN:-1280x1024x24}"
if ! [[ "$screen" =~ ^[0-9]+x[0-9]+x(8|16|24|32)$ ]]; then
    echo "wine-env: ORLIMO_SCREEN must look like 1280x1024x24, not '$screen'" >&2
    exit 2
fi

root=$(mktemp -d /tmp/orlimo-wine.XXXXXX)
xvfb_pid=""
pulse_pid=""
# What is being started; empty once the command runs. A failed start-up keeps its logs.
step="Xvfb"

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout 20 wineserver -k >/dev/null 2>&1 || true
    fi
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    if [ -n "$step" ]; then
        local logs
        logs=$(mktemp -d /tmp/orlimo-wine-logs.XXXXXX)
        cp "$root"/*.log "$logs"/ 2>/dev/null || true
        echo "wine-env: start-up failed at $step; its logs are kept in $logs" >&2
    fi
    rm -rf "$root"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export HOME="$root/home"
export XDG_RUNTIME_DIR="$root/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Xvfb picks a free display itself and tells us which one.
exec 3<> "$root/display"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp >"$root/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 1 100); do
    display=$(head -n1 "$root/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    sleep 0.1
done
exec 3>&-
if [ -z "$display" ]; then
    echo "wine-env: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$display"

if [ "${ORLIMO_PULSE:-0}" = "1" ]; then
    step="PulseAudio"
    mkdir -p "$root/pulse"
    pulseaudio --daemonize=no -n --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$root/pulse/native" \
        -L "module-null-sink sink_name=nullsink rate=48000 channels=2" \
        >"$root/pulse.log" 2>&1 &
    pulse_pid=$!
    export PULSE_SERVER="unix:$root/pulse/native"
    pulse_ready=0
    for _ in $(seq 1 50); do
        if pactl info >/dev/null 2>&1; then
            pulse_ready=1
            break
        fi
        sleep 0.1
    done
    if [ "$pulse_ready" -ne 1 ]; then
        echo "wine-env: PulseAudio did not start" >&2
        exit 1
    fi
fi

export WINEPREFIX="$root/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

# Wine's own output goes to files: its background services keep pipes open forever.
step="wineboot"
timeout 300 wineboot -i >"$root/wineboot.log" 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >"$root/reg.log" 2>&1
timeout 120 wineserver -w
# A persistent server keeps later program starts fast (no server start per process).
wineserver -p >/dev/null 2>&1
# The first program on a fresh server starts Wine's background services, which inherit and keep
# its output open forever; let a throw-away command take that hit, with its output in a file.
wine cmd /c exit >"$root/warmup.log" 2>&1

step=""
"$@"
