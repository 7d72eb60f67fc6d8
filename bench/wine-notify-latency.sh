#!/usr/bin/env bash
# Notification latency of the Windows build under Wine beside the Linux figure, in one run:
#   1. the Linux benchmark (bench_notify_latency, the dispatcher and a bare poll loop on a
#      pseudo-terminal), built in build/winhost;
#   2. the Windows benchmark (bench_notify_latency_win, the dispatcher and a bare Win32
#      loop on a COM port of the line broker, relayed over loopback TCP), under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"

wine_host_tools -DAPD_BENCH=ON
cmake --build "$root/build/winhost" -j "${JOBS:-$(nproc)}" --target bench_notify_latency
wine_cross_build --target bench_notify_latency_win
wine_start

echo "== Linux: dispatcher and bare loop on a pseudo-terminal (microseconds)"
"$root/build/winhost/bench/notify_latency/bench_notify_latency" \
    --benchmark_filter=BM_NotifyLatency 2>&1 | grep -E 'BM_|median|p99' | tr -s ' '
echo "== Windows build under Wine: COM port on a pseudo-terminal through the line broker"
LD_PRELOAD="$wine_preload" timeout 600 wine \
    "$root/build/win/bench/notify_latency_win/bench_notify_latency_win.exe"
