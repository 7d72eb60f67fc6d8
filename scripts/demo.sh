#!/usr/bin/env bash
# Sets everything up and runs the workstation against the analyser simulator: the
# simulator publishes a pseudo-terminal as COM7 in a private port directory and sends a
# plausible result every few seconds, byte by byte at line speed (115200 baud) as the
# analyser sends it; the workstation opens COM7 as always.
#
#   DEMO_INTERVAL   time between results (default 4s)
#   DEMO_SECONDS    quit after this many seconds (default: when the window is closed)
#   DEMO_LIS=1      also start a stand-in laboratory information system (Debian's python3-hl7,
#                   tests/support/hl7peer/hl7_peer.py) that acknowledges each message with AA
#                   and prints what it received; the workstation sends each stored result to it
#                   (VORSILAN_LIS_HOST, VORSILAN_LIS_PORT), with its outbox in the demo's
#                   journal
#   VORSILAN_JOURNAL_DB  the demo's journal (default build/release/demo-journal.sqlite)
#
# `bash scripts/demo.sh --simulator-options` prints the simulator's options, one a line, and
# does nothing else (a test runs the demo's reception with them).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# The first result comes one interval after the start, once the workstation has its port open.
interval="${DEMO_INTERVAL:-4s}"
simulator_options=(--port 7 --exec "wait $interval" --interval "$interval")
if [[ "${1:-}" == "--simulator-options" ]]; then
    printf '%s\n' "${simulator_options[@]}"
    exit 0
fi
# Without a display the window could not be shown: say so before anything is installed or built.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    cat >&2 <<'TEXT'
demo: there is no display. Run the demo under a virtual X server:
    sudo apt-get install -y xvfb
    xvfb-run -a -s "-screen 0 1024x700x24" bash scripts/demo.sh
or, to see nothing but prove it runs, QT_QPA_PLATFORM=offscreen DEMO_SECONDS=15 bash scripts/demo.sh
TEXT
    exit 2
fi

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target vorsilan-workstation vorsilan-sim

ports="$(mktemp -d)"
export VORSILAN_PORT_DIR="$ports"
# The demo's results go to a journal of its own, never into the user's.
export VORSILAN_JOURNAL_DB="${VORSILAN_JOURNAL_DB:-$root/build/release/demo-journal.sqlite}"
sim_pid=""
lis_pids=()
cleanup() {
    for pid in $sim_pid "${lis_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$ports"
}
trap cleanup EXIT

build/release/tools/simulator/vorsilan-sim "${simulator_options[@]}" &
sim_pid=$!
for _ in $(seq 100); do
    [[ -e "$ports/COM7" ]] && break
    sleep 0.05
done
echo "demo: the simulator plays the analyser on COM7; a result arrives every ${DEMO_INTERVAL:-4s}."
if [[ "${DEMO_LIS:-}" == "1" ]]; then
    /usr/bin/python3 tests/support/hl7peer/hl7_peer.py --mode AA --pretty >"$ports/lis.log" 2>&1 &
    lis_pids+=($!)
    for _ in $(seq 200); do
        grep -q '^listening ' "$ports/lis.log" && break
        sleep 0.05
    done
    lis_port="$(awk '/^listening /{print $2}' "$ports/lis.log")"
    if [[ -z "$lis_port" ]]; then
        echo "demo: the stand-in LIS did not start:" >&2
        cat "$ports/lis.log" >&2
        exit 1
    fi
    export VORSILAN_LIS_HOST=127.0.0.1 VORSILAN_LIS_PORT="$lis_port"
    echo "demo: a stand-in LIS listens on 127.0.0.1:$lis_port; each stored result is sent to it."
    tail -n +1 -f "$ports/lis.log" &
    lis_pids+=($!)
fi
echo "demo: type the names, press \"Запомнить\" to store a result, \"Файл\" writes the report."
if [[ -n "${DEMO_SECONDS:-}" ]]; then
    timeout "$DEMO_SECONDS" build/release/app/Project || true
else
    build/release/app/Project
fi
