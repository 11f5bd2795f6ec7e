#!/usr/bin/env bash
# mp4_finish on a fragmented file made by ffmpeg: completes it in place, says how many samples
# each track has and what it read and wrote; refuses a file that is not an MP4 and leaves it.
# Usage: mp4_finish_tool_test.sh <mp4_finish>; exits 77 (skipped) without ffmpeg.
set -euo pipefail
tool=${1:?usage: mp4_finish_tool_test.sh <mp4_finish>}
if ! command -v ffmpeg > /dev/null || ! command -v ffprobe > /dev/null; then
    echo "skipped: ffmpeg is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=30 -f lavfi -i sine=sample_rate=48000 -t 2 \
    -c:v libx264 -preset ultrafast -bf 2 -g 30 -pix_fmt yuv420p -c:a aac -shortest \
    -movflags frag_keyframe+empty_moov "$work/fragmented.mp4"
output=$("$tool" "$work/fragmented.mp4")
echo "$output"
grep -q "completed" <<< "$output"
grep -q "track 1: 60 samples" <<< "$output"
grep -q "bytes read: [0-9]*, bytes written: [0-9]*" <<< "$output"
top=$(ffprobe -v trace "$work/fragmented.mp4" 2>&1 | grep -c "type:'moof'" || true)
[ "$top" = 0 ] || { echo "a moof is still read"; exit 1; }
ffmpeg -v error -i "$work/fragmented.mp4" -f null -

echo "not a video" > "$work/text.mp4"
if "$tool" "$work/text.mp4"; then
    echo "a text file was accepted"
    exit 1
fi
[ "$(cat "$work/text.mp4")" = "not a video" ]
