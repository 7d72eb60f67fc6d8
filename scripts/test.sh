#!/usr/bin/env bash
# Sets everything up and runs the whole test suite:
#   1. the unit and integration tests (RelWithDebInfo),
#   2. the lint: clang-format over every C++ file, clang-tidy over the library (scripts/lint.sh),
#   3. the Debian packages made from build/release: built, checked by lintian, installed,
#      run, used by a project of their own and purged (scripts/package-tests.sh; as root),
#   4. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer,
#   5. the same tests under ThreadSanitizer,
#   6. every libFuzzer target for FUZZ_SECONDS seconds each (default 60),
#   7. the Windows build of the tests under Wine (scripts/wine-tests.sh).
# Build folders: build/release (and build/consumer), build/asan, build/tsan, build/fuzz,
# build/win, build/winhost.
# Set STAGES to a subset of "release lint package asan tsan fuzz windows" to run only those.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
source scripts/configure.sh

stages="${STAGES:-release lint package asan tsan fuzz windows}"
fuzz_seconds="${FUZZ_SECONDS:-60}"
jobs="${JOBS:-$(nproc)}"
export QT_QPA_PLATFORM=offscreen
# Sanitizer reports fail the run; leaks count as reports.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

started=$SECONDS
stage_time() { echo "== $1 took $((SECONDS - $2)) s"; }

configure_build_test() {
    local name="$1"
    local t0=$SECONDS
    echo "== $name: configure and build"
    apd_configure "$name"
    cmake --build --preset "$name" -j "$jobs"
    echo "== $name: tests"
    ctest --preset "$name" -j "$jobs"
    stage_time "$name" "$t0"
}

for stage in $stages; do
    case "$stage" in
    release | asan | tsan)
        configure_build_test "$stage" ;;
    fuzz)
        t0=$SECONDS
        echo "== fuzz: configure and build (clang, libFuzzer, ASan+UBSan)"
        apd_configure fuzz
        cmake --build --preset fuzz -j "$jobs"
        mapfile -t targets < <(find build/fuzz -type f -name 'fuzz_*' -perm -u+x | sort)
        for target in "${targets[@]}"; do
            name="$(basename "$target")"
            corpus="build/fuzz/corpus/$name"
            mkdir -p "$corpus"
            seeds=()
            [[ -d "fuzz/corpus/$name" ]] && seeds=("fuzz/corpus/$name")
            echo "== fuzz: $name for $fuzz_seconds s"
            "$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
                -artifact_prefix="build/fuzz/$name-" "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
        done
        echo "== fuzz: ${#targets[@]} targets ran without a crash or sanitizer report"
        stage_time fuzz "$t0" ;;
    lint)
        t0=$SECONDS
        JOBS="$jobs" bash scripts/lint.sh
        stage_time lint "$t0" ;;
    package)
        t0=$SECONDS
        JOBS="$jobs" bash scripts/package-tests.sh
        stage_time package "$t0" ;;
    windows)
        t0=$SECONDS
        bash scripts/wine-tests.sh
        stage_time windows "$t0" ;;
    *)
        echo "unknown stage $stage" >&2; exit 2 ;;
    esac
done
echo "== whole suite took $((SECONDS - started)) s"
