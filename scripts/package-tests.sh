#!/usr/bin/env bash
# The package stage of the test command: builds the Debian packages (scripts/package.sh),
# checks their contents and runs lintian on them, installs them with apt, runs the installed
# program against the installed simulator, builds a project of its own against the installed
# library (tests/consumer) and runs it, then purges the packages and checks that none of
# their files is left. Installing needs root (CI runs as root); otherwise the stage is
# skipped. Packages left installed by an earlier run are purged first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if ((EUID != 0)); then
    echo "== package: SKIPPED: installing the .deb packages needs root (CI runs as root);"
    echo "   run as root, for example: sudo STAGES=package bash scripts/test.sh"
    exit 0
fi

packages=(vorsilan-workstation libvorsilan-comm-dev)
work="$(mktemp -d)"
sim_pid=""
app_pid=""

fail() {
    echo "== package: FAILED: $*" >&2
    exit 1
}
apt_get() {
    # Another apt may hold the lock for a while: wait for it instead of failing.
    DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=600 "$@"
}
# Purges whichever of our packages dpkg knows, also one removed but not purged.
purge_ours() {
    local known=() status
    for package in "${packages[@]}"; do
        status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
        [[ -n "$status" && "$status" != *not-installed ]] && known+=("$package")
    done
    if ((${#known[@]} != 0)); then
        apt_get purge "${known[@]}" >"$work/purge.log" 2>&1 || {
            cat "$work/purge.log" >&2
            return 1
        }
    fi
}
stop() {
    if [[ -n "$1" ]]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    stop "$app_pid"
    stop "$sim_pid"
    purge_ours || true
    rm -rf "$work"
}
trap cleanup EXIT
# Polls a condition every 100 ms for at most SECONDS: wait_for SECONDS COMMAND...
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

echo "== package: purge what an earlier run left"
purge_ours

echo "== package: build the packages"
mapfile -t debs < <(bash scripts/package.sh | grep '\.deb$')
((${#debs[@]} == ${#packages[@]})) || fail "expected ${#packages[@]} packages, got: ${debs[*]}"
program_deb="$(printf '%s\n' "${debs[@]}" | grep '/vorsilan-workstation_')"
version="$(dpkg-deb -f "$program_deb" Version)"
upstream="${version%-*}"
for deb in "${debs[@]}"; do
    echo "   $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, $(dpkg-deb -c "$deb" | wc -l) entries"
    # Nothing of the tests, benchmarks, fuzz targets or build tools, nothing outside /usr.
    if dpkg-deb -c "$deb" | awk '{print $6}' |
        grep -E -i 'test|bench|fuzz|gtest|gmock|screenshot|strtable|/Project$|^\./usr/local|^\./(etc|opt|home|root)/'; then
        fail "$(basename "$deb") holds the files above"
    fi
done
depends="$(dpkg-deb -f "$program_deb" Depends)"
echo "   Depends: $depends"
for library in libc6 libstdc++6 libqt6widgets6 libqt6core6; do
    tr ',|' '\n\n' <<<"$depends" | awk '{print $1}' | grep -q -x -F "$library" ||
        fail "the program's package does not depend on $library (dpkg-shlibdeps)"
done

echo "== package: lintian"
lintian_log="$root/build/release/packages/lintian.txt"
if ! lintian --fail-on error --no-tag-display-limit "${debs[@]}" >"$lintian_log" 2>&1; then
    cat "$lintian_log" >&2
    fail "lintian reports errors"
fi
if grep -q -E '^[EW]: ' "$lintian_log"; then
    grep -E '^[EW]: ' "$lintian_log"
else
    echo "   no errors or warnings"
fi

echo "== package: install"
apt_get install "${debs[@]}" >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    fail "apt-get install"
}
# Every path of the packages, and of those the files (not the folders they share).
dpkg -L "${packages[@]}" >"$work/paths"
while read -r path; do
    [[ -d "$path" && ! -L "$path" ]] || echo "$path"
done <"$work/paths" >"$work/files"
for expected in /usr/bin/vorsilan-workstation /usr/bin/vorsilan-sim \
    /usr/share/applications/vorsilan-workstation.desktop \
    /usr/share/icons/hicolor/scalable/apps/vorsilan-workstation.svg \
    /usr/share/icons/hicolor/48x48/apps/vorsilan-workstation.png \
    /usr/share/man/man1/vorsilan-workstation.1.gz \
    /usr/share/doc/vorsilan-workstation/README.md \
    /usr/include/vorsilan/comm/port/ComPort.h; do
    grep -q -x -F "$expected" "$work/files" || fail "$expected is not installed"
    [[ -e "$expected" ]] || fail "$expected is listed but missing"
done
for layer in errors platform dispatch device threads port; do
    grep -q -E "^/usr/lib/(.*/)?libcomm_$layer\.a$" "$work/files" ||
        fail "the static library of $layer is not installed"
done
echo "   $(wc -l <"$work/files") files installed"

echo "== package: the installed programs"
# --version needs no display: it must answer before Qt looks for one.
shown="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM vorsilan-workstation --version)" ||
    fail "vorsilan-workstation --version failed"
[[ "$shown" == "vorsilan-workstation $upstream" ]] ||
    fail "vorsilan-workstation --version says '$shown', the package is $version"
[[ "$(vorsilan-sim --version)" == "vorsilan-sim $upstream" ]] || fail "vorsilan-sim --version"
vorsilan-sim --help >"$work/help.txt" || fail "vorsilan-sim --help failed"
grep -q '^Usage: vorsilan-sim' "$work/help.txt" || fail "vorsilan-sim --help shows no usage"
desktop-file-validate /usr/share/applications/vorsilan-workstation.desktop ||
    fail "desktop-file-validate"

echo "== package: the installed program receives from the installed simulator"
export VORSILAN_PORT_DIR="$work/ports"
mkdir -p "$VORSILAN_PORT_DIR"
# A record every 250 ms from 1 s after the start, while the program starts and opens COM7.
vorsilan-sim --port 7 --exec "wait 1s" --interval 250ms >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for 10 test -L "$VORSILAN_PORT_DIR/COM7" || fail "the simulator published no COM7"
VORSILAN_JOURNAL_DB="$work/journal.sqlite" QT_QPA_PLATFORM=offscreen vorsilan-workstation --log-records >"$work/app.log" 2>"$work/app.err" &
app_pid=$!
received() { [[ "$(grep -c '^received record ' "$work/app.log")" -ge 2 ]]; }
if ! wait_for 30 received; then
    cat "$work/app.err" "$work/sim.log" >&2
    fail "the program logged fewer than two records in 30 s"
fi
kill -0 "$app_pid" 2>/dev/null || fail "the program ended by itself"
# "received record 12 kind 1 value 556": a record the simulator sent ("... sent record 12 ...").
number="$(sed -n -E '1s/^received record ([0-9]+) .*/\1/p' "$work/app.log")"
grep -q -E " sent record $number " "$work/sim.log" ||
    fail "the program received record $number, which the simulator did not send"
echo "   $(head -n 1 "$work/app.log")"
stop "$app_pid"
app_pid=""
stop "$sim_pid"
sim_pid=""

echo "== package: a project of its own finds and uses the installed library"
consumer="$root/build/consumer"
rm -rf "$consumer"
if ! cmake -S tests/consumer -B "$consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    >"$work/consumer.log" 2>&1; then
    cat "$work/consumer.log" >&2
    fail "configuring tests/consumer"
fi
config="$(grep -m1 '/VorsilanCommConfig\.cmake$' "$work/files")"
found="$(sed -n 's/^VorsilanComm_DIR:PATH=//p' "$consumer/CMakeCache.txt")"
[[ "$found" == "$(dirname "$config")" ]] ||
    fail "tests/consumer found VorsilanComm in '$found', not the package's $(dirname "$config")"
cmake --build "$consumer" >"$work/consumer.log" 2>&1 || {
    cat "$work/consumer.log" >&2
    fail "building tests/consumer"
}
bash tests/readme_example/run_example.sh "$consumer/readme_example" /usr/bin/vorsilan-sim |
    tail -n 1

echo "== package: purge"
purge_ours
for package in "${packages[@]}"; do
    status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
    [[ -z "$status" || "$status" == *not-installed ]] || fail "$package is still '$status'"
done
left=()
while read -r path; do
    [[ -e "$path" || -L "$path" ]] && left+=("$path")
done <"$work/files"
# The folders that only our packages make.
while read -r path; do
    [[ -d "$path" ]] && left+=("$path/")
done < <(grep -i -E 'vorsilan' "$work/paths" | grep -v -x -F -f "$work/files")
((${#left[@]} == 0)) || fail "left after the purge: ${left[*]}"
echo "== package: purged; none of the $(wc -l <"$work/files") files is left"
