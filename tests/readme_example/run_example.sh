#!/usr/bin/env bash
# Runs the README's example on COM7 while the simulator sends a record every 100 ms there,
# and checks that it printed three whole records and ended by itself.
set -euo pipefail
example="$1"
simulator="$2"
ports="$(mktemp -d)"
export VORSILAN_PORT_DIR="$ports"
coproc SIM { exec "$simulator" --port 7 --interval 100ms --count 300 --exit-when-done; }
trap 'kill "$SIM_PID" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$ports"' EXIT
# The simulator's first line says the port is published.
read -r -t 10 -u "${SIM[0]}" published
echo "$published"
output="$(timeout 30 "$example")"
echo "$output"
records="$(grep -cE '^AA 55 ([0-9A-F]{2} ){24}$' <<<"$output" || true)"
if [[ "$records" -ne 3 ]]; then
    echo "expected 3 whole records, saw $records" >&2
    exit 1
fi
