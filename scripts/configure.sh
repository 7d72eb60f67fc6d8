# Sourced by the scripts that build: apd_configure PRESET [CMAKE_ARGS...] configures the
# build folder of a preset of CMakePresets.json, quietly, and shows CMake's whole output
# when the configure fails. Expects $root (the source tree).
apd_configure() {
    local preset="$1"
    shift
    local output
    if ! output="$(cd "$root" && cmake --preset "$preset" "$@" 2>&1)"; then
        printf '%s\n' "$output" >&2
        echo "configuring the $preset build failed (output above)" >&2
        return 1
    fi
}
