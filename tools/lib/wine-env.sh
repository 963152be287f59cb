# Shell functions shared by tools/test and tools/wine-run: a private Wine prefix and an Xvfb
# display for one run. Source it; call corvale_wine_start, later corvale_wine_stop.

corvale_own_prefix=""
corvale_own_xvfb=""

corvale_wine_start() {
    if [ -z "${WINEPREFIX:-}" ]; then
        corvale_own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/corvale-wine.XXXXXX")
        export WINEPREFIX=$corvale_own_prefix
    fi
    if [ -z "${DISPLAY:-}" ]; then
        local n
        for n in $(seq 90 199); do
            [ -e "/tmp/.X${n}-lock" ] && continue
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            corvale_own_xvfb=$!
            sleep 0.5
            if kill -0 "$corvale_own_xvfb" 2>/dev/null; then
                export DISPLAY=":$n"
                break
            fi
            corvale_own_xvfb=""
        done
        [ -n "${DISPLAY:-}" ] || { echo "wine-env: could not start Xvfb" >&2; return 1; }
    fi
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    export WINEARCH=win64
    if [ -n "$corvale_own_prefix" ]; then
        /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -w 2>/dev/null || true
    fi
}

corvale_wine_stop() {
    if [ -n "$corvale_own_prefix" ]; then
        /usr/lib/wine/wineserver -k 2>/dev/null || true
        rm -rf "$corvale_own_prefix"
        unset WINEPREFIX
        corvale_own_prefix=""
    fi
    if [ -n "$corvale_own_xvfb" ]; then
        kill "$corvale_own_xvfb" 2>/dev/null || true
        wait "$corvale_own_xvfb" 2>/dev/null || true
        unset DISPLAY
        corvale_own_xvfb=""
    fi
}
