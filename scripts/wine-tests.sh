#!/usr/bin/env bash
# The Windows build of the tests, run under Wine on this machine:
#   1. the host side of the harness (build/winhost): the line broker, which makes
#      pseudo-terminal pairs and publishes them as COM ports in the Wine prefix, and the
#      preload library that answers the modem-line requests a pseudo-terminal refuses;
#   2. the cross build with mingw-w64 (build/win);
#   3. a private headless Wine prefix (build/win/wineprefix), the broker, and every test
#      executable under Wine, each bounded by WINE_TEST_TIMEOUT seconds (default 600).
# Fails when any test executable fails or times out. Outputs: build/win/wine-logs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"
limit="${WINE_TEST_TIMEOUT:-600}"

echo "== windows: host tools"
wine_host_tools -DAPD_BENCH=OFF
echo "== windows: cross build"
wine_cross_build
wine_start

mapfile -t programs < <(find "$root/build/win/tests" -name '*_tests.exe' -type f | sort)
if (( ${#programs[@]} == 0 )); then
    echo "no Windows test executables were built" >&2
    exit 1
fi
failed=()
for program in "${programs[@]}"; do
    name="$(basename "$program" .exe)"
    log="$wine_logs/$name.log"
    t0=$SECONDS
    if LD_PRELOAD="$wine_preload" timeout --kill-after=10 "$limit" wine "$program" \
        >"$log" 2>&1; then
        summary="$(grep -m1 -E '^\[==========\] [0-9]+ tests? from' "$log" || true)"
        echo "== windows: $name passed: ${summary#\[==========\] } ($((SECONDS - t0)) s)"
    else
        echo "== windows: $name FAILED after $((SECONDS - t0)) s; its output:"
        grep -v '^\[       OK \]\|^\[ RUN      \]' "$log" || true
        failed+=("$name")
    fi
done
if (( ${#failed[@]} != 0 )); then
    echo "== windows: failed: ${failed[*]}" >&2
    exit 1
fi
echo "== windows: ${#programs[@]} test executables passed under Wine"
