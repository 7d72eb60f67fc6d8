#!/usr/bin/env bash
# The lint stage: every tracked C++ file formatted as .clang-format says, and the library's
# sources clean under .clang-tidy, with the compile commands of the release build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/configure.sh
jobs="${JOBS:-$(nproc)}"

echo "== lint: clang-format"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${sources[@]}"; then
    echo "files above are not formatted: run clang-format -i on them" >&2
    exit 1
fi
echo "== lint: clang-format: ${#sources[@]} files formatted"

echo "== lint: clang-tidy"
apd_configure release
# Sources of this platform only: the compile commands hold no _win.cpp file.
mapfile -t library < <(git ls-files 'comm/*.cpp' | grep -v '_win\.cpp$')
printf '%s\n' "${library[@]}" |
    xargs -P "$jobs" -n 8 clang-tidy -p build/release --quiet 2>&1 |
    grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >build/release/clang-tidy.log ||
    true
if grep -q -E '(warning|error):' build/release/clang-tidy.log; then
    cat build/release/clang-tidy.log >&2
    echo "clang-tidy found the problems above" >&2
    exit 1
fi
echo "== lint: clang-tidy: ${#library[@]} files clean"
