# Shell functions shared by tools/test, tools/run and tools/wine-run: a private Wine prefix and
# an Xvfb display for one run. Source it; call corvale_wine_start ARCH, later corvale_wine_stop.
#
# ARCH is win64 or win32. A win64 prefix is 64-bit Windows (wine64 loader). A win32 prefix is
# made with WINEARCH=win32: a plain 32-bit Windows, the system the product is written for, run
# by the 32-bit loader (Debian's wine32:i386).

corvale_own_prefix=""
corvale_own_xvfb=""

# The loader that runs programs of the given architecture.
corvale_wine_loader() {
    case "$1" in
        win32) echo /usr/lib/wine/wine ;;
        *) echo /usr/lib/wine/wine64 ;;
    esac
}

# Prints nothing and succeeds when this machine can run 32-bit Windows programs; otherwise
# prints why not and fails. Asks the kernel, not the package list: the 32-bit loader is an i386
# program, so a kernel without 32-bit execution refuses it.
corvale_win32_probe() {
    local loader out
    loader=$(corvale_wine_loader win32)
    if [ ! -x "$loader" ]; then
        echo "the 32-bit Wine loader ($loader, package wine32:i386) is not installed"
        return 1
    fi
    if ! out=$("$loader" --version 2>&1); then
        echo "this kernel cannot execute 32-bit code (running $loader failed: ${out:-no output})"
        return 1
    fi
    return 0
}

corvale_wine_display_start() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n
    for n in $(seq 90 199); do
        [ -e "/tmp/.X${n}-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        corvale_own_xvfb=$!
        sleep 0.5
        if kill -0 "$corvale_own_xvfb" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        corvale_own_xvfb=""
    done
    echo "wine-env: could not start Xvfb" >&2
    return 1
}

# Makes a private prefix of the given architecture unless WINEPREFIX is set already.
corvale_wine_prefix_start() {
    local arch=${1:-win64}
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    export WINEARCH=$arch
    [ -n "${WINEPREFIX:-}" ] && return 0
    corvale_own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/corvale-wine-$arch.XXXXXX")
    export WINEPREFIX=$corvale_own_prefix
    "$(corvale_wine_loader "$arch")" wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w 2>/dev/null || true
}

corvale_wine_prefix_stop() {
    [ -n "$corvale_own_prefix" ] || return 0
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$corvale_own_prefix"
    unset WINEPREFIX
    corvale_own_prefix=""
}

corvale_wine_start() {
    corvale_wine_display_start && corvale_wine_prefix_start "${1:-win64}"
}

corvale_wine_stop() {
    corvale_wine_prefix_stop
    if [ -n "$corvale_own_xvfb" ]; then
        kill "$corvale_own_xvfb" 2>/dev/null || true
        wait "$corvale_own_xvfb" 2>/dev/null || true
        unset DISPLAY
        corvale_own_xvfb=""
    fi
}
