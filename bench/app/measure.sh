#!/usr/bin/env bash
# Measures the workstation program against the analyser simulator on COM7 (offscreen):
# the CPU time it uses while idle with the port open, the CPU time of handling one record,
# and its peak resident memory. Needs a release build (build/release).
#
#   IDLE_SECONDS   length of the idle measurement (default 10)
#   RECORDS        records sent for the per-record figure (default 5)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build/release"
idle_seconds="${IDLE_SECONDS:-10}"
records="${RECORDS:-5}"
ticks="$(getconf CLK_TCK)"

ports="$(mktemp -d)"
export VORSILAN_PORT_DIR="$ports" QT_QPA_PLATFORM=offscreen LANG=ru_RU.UTF-8
# A journal of its own, never the user's.
export VORSILAN_JOURNAL_DB="$ports/journal.sqlite"
script="$ports/script"
{
    echo "wait $((idle_seconds + 3))s" # start-up and the idle measurement
    for n in $(seq "$records"); do
        echo "record $n 5.56 serum"
        echo "wait 1500ms"
    done
    echo "wait 60s"
} >"$script"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$ports"
}
trap cleanup EXIT

# The simulator stays quiet during the idle measurement, then sends a record every 1.5 s,
# each in one write (--whole), so that the figure is the handling of a whole record.
"$build/tools/simulator/vorsilan-sim" --port 7 --whole --script "$script" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -e "$ports/COM7" ]] && break; sleep 0.05; done

"$build/app/Project" >/dev/null 2>&1 &
app=$!
pids+=("$app")
sleep 2.5 # start-up

cpu() { awk '{print $14 + $15}' "/proc/$app/stat"; }

before="$(cpu)"
sleep "$idle_seconds"
after="$(cpu)"
idle_ms=$(( (after - before) * 1000 / ticks ))
echo "idle: ${idle_ms} ms CPU in ${idle_seconds} s ($(awk -v c="$idle_ms" -v s="$idle_seconds" 'BEGIN{printf "%.2f", c/(s*10)}')% of a core)"

before="$(cpu)"
sleep 0.5 # the first record goes out now
sleep "$(awk -v r="$records" 'BEGIN{print r * 1.5}')"
after="$(cpu)"
# Subtract the idle share of the same wall time.
wall_ms=$(( records * 1500 ))
busy_ms=$(( (after - before) * 1000 / ticks ))
idle_share=$(( idle_ms * wall_ms / (idle_seconds * 1000) ))
echo "records: ${busy_ms} ms CPU for ${records} records in $((wall_ms / 1000)) s; about $(awk -v b="$busy_ms" -v i="$idle_share" -v r="$records" 'BEGIN{printf "%.1f", (b - i) / r}') ms per record above idle (CPU clock ticks are $((1000 / ticks)) ms)"
echo "peak memory: $(awk '/VmHWM/ {print $2, $3}' "/proc/$app/status")"
