#!/usr/bin/env bash
# Builds the Debian packages from the release build (build/release), building only what
# they hold:
#   build/release/packages/vorsilan-workstation_<version>-<revision>_<arch>.deb
#       the program, the analyser simulator, the desktop entry, icons and manual pages;
#   build/release/packages/libvorsilan-comm-dev_<version>-<revision>_<arch>.deb
#       the library's static libraries, headers and CMake package.
# Install them with: sudo apt-get install ./build/release/packages/*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/configure.sh
jobs="${JOBS:-$(nproc)}"
out="$root/build/release/packages"

bash scripts/setup.sh
apd_configure release
cmake --build --preset release -j "$jobs" --target packaged_files
rm -rf "$out" # packages of an earlier version must not be taken for these
if ! log="$(cpack --config build/release/CPackConfig.cmake -B "$out" 2>&1)"; then
    printf '%s\n' "$log" >&2
    echo "package: cpack failed (output above)" >&2
    exit 1
fi
find "$out" -maxdepth 1 -name '*.deb' | sort
