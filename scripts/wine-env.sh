# Sourced by scripts/wine-tests.sh and bench/wine-notify-latency.sh: a private headless
# Wine prefix under build/win, one Wine server for all runs, and the line broker that
# publishes pseudo-terminal pairs as COM ports in that prefix. Expects $root (the source
# tree) and a host build in build/winhost with the targets line-broker and
# apd_modem_preload. Everything it starts ends with the calling shell (wine_stop on EXIT).

source "$root/scripts/configure.sh"

export WINEPREFIX="$root/build/win/wineprefix"
export WINEDEBUG=-all
# No debugger on a crash: the program ends and its test fails.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
wine_logs="$root/build/win/wine-logs"
wine_modem_dir="$root/build/win/modem"
# LD_PRELOAD for the Wine processes that open the lines: modem lines on pseudo-terminals.
wine_preload="$root/build/winhost/tests/support/wine/libapd_modem_preload.so"
wine_broker_pid=""

wine_stop() {
    if [[ -n "$wine_broker_pid" ]]; then
        kill "$wine_broker_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
}

wine_start() {
    mkdir -p "$wine_logs" "$wine_modem_dir"
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "== windows: new Wine prefix"
        wineboot -i >"$wine_logs/wineboot.log" 2>&1
        # Hidden top-level windows need no display.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
            >>"$wine_logs/wineboot.log" 2>&1
        # The server those two started ends a few seconds after its last client; a test
        # that connects to it as it ends fails at once ("wine client error ... Connection
        # reset by peer"). Wait for it to end, so that every test talks to the persistent
        # server below.
        wineserver -w 2>/dev/null || true
    fi
    trap wine_stop EXIT
    # A persistent server makes each program start quick; it may print its object table
    # as it ends, hence its own log.
    wineserver -p 2>"$wine_logs/wineserver.log" &
    local out
    exec {out}< <(exec "$root/build/winhost/tests/support/wine/line-broker" "$WINEPREFIX" \
        "$wine_modem_dir" 2>"$wine_logs/line-broker.log")
    wine_broker_pid=$!
    local port
    if ! read -r -t 10 -u "$out" port; then
        echo "the line broker did not start (see $wine_logs/line-broker.log)" >&2
        return 1
    fi
    export APD_LINE_BROKER="$port"
    export APD_MODEM_DIR="$wine_modem_dir"
}

wine_host_tools() {
    apd_configure winhost "$@"
    cmake --build "$root/build/winhost" -j "${JOBS:-$(nproc)}" --target line-broker \
        apd_modem_preload
}

wine_cross_build() {
    apd_configure windows
    cmake --build "$root/build/win" -j "${JOBS:-$(nproc)}" "$@"
}
