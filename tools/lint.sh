#!/usr/bin/env bash
# Fails on a format difference (clang-format, .clang-format) or a clang-tidy finding
# (.clang-tidy). The portable code is tidied through the native compile database; the Windows
# glue through the windows one, parsed by clang for the MinGW target with the cross compiler's
# C++ headers. Configures both presets (no build needed).
# Both tools are version 19, the one Debian 12 and 13 both package (tools/setup.sh installs it):
# another version formats differently and knows other checks, so no other is taken instead.
# ORLIMO_LINT_JOBS sets how many clang-tidy processes run at once (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ORLIMO_LINT_JOBS:-2}
status=0

for tool in clang-format-19 clang-tidy-19; do
    if ! command -v "$tool" >/dev/null; then
        echo "lint: $tool not found; install it with tools/setup.sh (Debian package $tool)" >&2
        exit 1
    fi
done

echo "== clang-format"
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-19 --dry-run -Werror; then
    status=1
fi

# Prints one file's findings only; "N warnings generated" is about headers outside the project.
tidy_one() {
    local output
    if output=$(clang-tidy-19 --quiet "$@" 2>&1); then
        return 0
    fi
    grep -v 'warnings generated\.$' <<<"$output" >&2
    return 1
}
export -f tidy_one

# Project sources of a compile database, one per line, without GoogleTest's own.
sources_of() {
    python3 -c '
import json, sys
for entry in json.load(open(sys.argv[1])):
    path = entry["file"]
    if path.endswith(".cpp") and "/googletest/" not in path:
        print(path)' "$1" | sort -u
}

echo "== clang-tidy: portable code"
cmake --preset native >/dev/null
sources_of build/native/compile_commands.json >build/native/lint-sources.txt
if ! tr '\n' '\0' <build/native/lint-sources.txt |
        xargs -0 -r -n1 -P "$jobs" bash -c 'tidy_one -p build/native "$0"'; then
    status=1
fi

echo "== clang-tidy: Windows code"
cmake --preset windows >/dev/null
# clang finds the MinGW headers by itself, but not the C++ library of Debian's posix compiler.
cxx_headers=()
while read -r dir; do
    cxx_headers+=("--extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-posix -xc++ -E -v /dev/null 2>&1 | sed -n 's|^ \(/.*/include/c++.*\)$|\1|p')
# The Windows-only tests are left to the compiler's warnings: parsing them with GoogleTest for
# the MinGW target costs more than the rest of the lint together.
sources_of build/windows/compile_commands.json |
    grep -vxF -f build/native/lint-sources.txt | grep -v '/tests/' >build/windows/lint-sources.txt || true
if ! tr '\n' '\0' <build/windows/lint-sources.txt |
        xargs -0 -r -n1 -P "$jobs" bash -c 'tidy_one -p build/windows "$0" "$@"' \
            --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++ "${cxx_headers[@]}"; then
    status=1
fi

if [ "$status" -ne 0 ]; then
    echo "lint: findings above" >&2
fi
exit "$status"
