#!/usr/bin/env bash
# Seeds for mp4_finisher_fuzz: small fragmented MP4 files made by ffmpeg (H.264 with B-frames and
# AAC, stream-copied into each fragmented flavour), each also cut inside its second fragment and
# inside its last one. Usage: tests/fuzz/make_mp4_seeds.sh <corpus folder>
set -euo pipefail
corpus=${1:?usage: make_mp4_seeds.sh <corpus folder>}
mkdir -p "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -v error -y -f lavfi -i testsrc2=size=32x32:rate=30 -f lavfi -i sine=frequency=440:sample_rate=8000 \
    -t 1 -c:v libx264 -preset ultrafast -bf 2 -g 10 -crf 45 -pix_fmt yuv420p -c:a aac -b:a 8k -ar 8000 \
    -shortest "$work/source.mp4"
index=0
for flags in "frag_keyframe+empty_moov" "frag_keyframe+empty_moov+default_base_moof" \
    "frag_keyframe+empty_moov+omit_tfhd_offset" "empty_moov+default_base_moof+frag_duration=300000" \
    "frag_keyframe+empty_moov+negative_cts_offsets"; do
    movflags=${flags%%+frag_duration=*}
    options=()
    if [[ $flags == *frag_duration=* ]]; then
        options=(-frag_duration "${flags##*=}")
    fi
    seed="$corpus/fragmented$index.mp4"
    ffmpeg -v error -y -i "$work/source.mp4" -c copy -movflags "$movflags" "${options[@]}" "$seed"
    size=$(stat -c %s "$seed")
    head -c $((size * 2 / 3)) "$seed" > "$corpus/fragmented${index}_cut_inside.mp4"
    head -c $((size - 40)) "$seed" > "$corpus/fragmented${index}_cut_at_end.mp4"
    index=$((index + 1))
done
ls -l "$corpus"
