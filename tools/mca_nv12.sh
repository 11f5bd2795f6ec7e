#!/usr/bin/env bash
# Static cost of the AVX2 BGRA to NV12 loop next to libyuv's rows, as llvm-mca-19 sees them.
# Our loop is compiled as the Windows build compiles it (the MinGW compiler, -O2 -mavx2; CXX_MCA
# picks another compiler that names its labels .L<n>) and taken from its loop label to the jump
# back; libyuv's ARGBToYRow_AVX2 and ARGBToUVRow_AVX2 loops are disassembled from Debian's
# libyuv0. Each is run for 1000 iterations on Zen 5, Zen 3 and Skylake.
# The figures are per 32 pixels of luma and chroma work: our loop does 32 columns of two rows (64
# pixels), so half of one iteration; libyuv's Y row does 32 pixels, its UV row 32 columns of two
# rows, so one Y iteration and half a UV iteration.
# A measuring tool, not part of the build or the tests. It prints the uops and cycles per 32 px.
set -euo pipefail
cd "$(dirname "$0")/.."

mca=llvm-mca-19
cxx=${CXX_MCA:-x86_64-w64-mingw32-g++-posix}
lib=$(find /usr/lib -name 'libyuv.so.0*' -type f 2>/dev/null | head -n 1)
if ! command -v "$mca" >/dev/null; then
    echo "mca_nv12: $mca not found; install the Debian package llvm-19" >&2
    exit 1
fi
if [[ -z "$lib" ]]; then
    echo "mca_nv12: libyuv not found; install the Debian package libyuv0 (tools/setup.sh does, through libyuv-dev)" >&2
    exit 1
fi
if ! command -v "$cxx" >/dev/null; then
    echo "mca_nv12: $cxx not found; install it with tools/setup.sh or set CXX_MCA" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Our loop: from the label that a conditional jump goes back to, down to that jump.
"$cxx" -std=c++20 -O2 -mavx2 -I. -S -o "$work/ours.s" recording/video/nv12_conversion_avx2.cpp
awk '/^\.L[0-9]+:/ { label = substr($1, 1, length($1) - 1); body = ""; next }
     label != "" && /^\tj[a-z]+\t\.L[0-9]+$/ && $2 == label { printf "%s%s\n", body, $0; found = 1; exit }
     label != "" && !/^\t\./ { body = body $0 "\n" }
     END { exit !found }' "$work/ours.s" >"$work/ours_loop.s"

# One of libyuv's rows: its loop starts where the function's first backward jump lands.
libyuv_loop() {
    local symbol=$1 start end
    start=$(nm -D --defined-only "$lib" | awk -v s="$symbol" '$3 == s { print $1 }')
    if [[ -z "$start" ]]; then
        echo "mca_nv12: $symbol not in $lib" >&2
        exit 1
    fi
    end=$(printf '0x%x' $((0x$start + 0x200)))
    objdump -d --no-show-raw-insn -M att --start-address="0x$start" --stop-address="$end" "$lib" |
        awk '/^ *[0-9a-f]+:\t/ {
                 address = $1; sub(/:$/, "", address)
                 line = $0; sub(/^ *[0-9a-f]+:\t/, "", line); sub(/ *#.*/, "", line)
                 lines[++n] = line; addresses[n] = address
                 if (line ~ /^j/ && !back) {
                     split(line, parts, " "); target = parts[2]
                     for (i = 1; i <= n; ++i) if (addresses[i] == target) { first = i; back = n }
                 }
             }
             END {
                 if (!back) exit 1
                 print "0:"
                 for (i = first; i < back; ++i) print lines[i]
                 split(lines[back], parts, " "); print parts[1] " 0b"
             }'
}
libyuv_loop ARGBToYRow_AVX2 >"$work/y_row.s"
libyuv_loop ARGBToUVRow_AVX2 >"$work/uv_row.s"

# Prints "uops cycles" of 1000 iterations of one loop.
cost() {
    "$mca" -mcpu="$1" -iterations=1000 "$2" |
        awk '/^Total uOps:/ { uops = $3 } /^Total Cycles:/ { cycles = $3 } END { print uops, cycles }'
}

printf '%-8s %-22s %8s %8s\n' cpu loop uops/32px cyc/32px
for cpu in znver5 znver3 skylake; do
    read -r ours_uops ours_cycles < <(cost "$cpu" "$work/ours_loop.s")
    read -r y_uops y_cycles < <(cost "$cpu" "$work/y_row.s")
    read -r uv_uops uv_cycles < <(cost "$cpu" "$work/uv_row.s")
    awk -v cpu="$cpu" -v ou="$ours_uops" -v oc="$ours_cycles" -v yu="$y_uops" -v yc="$y_cycles" \
        -v vu="$uv_uops" -v vc="$uv_cycles" 'BEGIN {
            printf "%-8s %-22s %8.2f %8.3f\n", cpu, "ours", ou / 2000, oc / 2000
            printf "%-8s %-22s %8.2f %8.3f\n", cpu, "libyuv Y + UV / 2", (yu + vu / 2) / 1000,
                (yc + vc / 2) / 1000
        }'
done
