# The Debian packages the project needs, installed when missing. Source it and call
# corvale_install_deps.
CORVALE_PACKAGES=(
    cmake ninja-build ccache g++ clang libclang-rt-14-dev clang-format pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
    zlib1g-dev libpng-dev libgif-dev libstb-dev libdeflate-dev libspng-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
    wine64 xvfb imagemagick xdotool python3-pil fonts-dejavu-core
)
# The 32-bit Wine loader, from the i386 architecture, for the win32 tests.
CORVALE_PACKAGES_I386=(wine32:i386)

# Root installs directly, anyone else through sudo.
CORVALE_SUDO=""
[ "$(id -u)" -eq 0 ] || CORVALE_SUDO=sudo

corvale_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

# When the mirror's i386 index lags the amd64 one, the 32-bit libraries cannot match the
# 64-bit ones and apt gives up. Ask again, for versions the archive has for both, removing
# nothing.
corvale_install_pinned() {
    local args
    mapfile -t args < <(python3 "$(dirname "${BASH_SOURCE[0]}")/multiarch_pins.py" "$@")
    [ ${#args[@]} -ne 0 ] || return 1
    echo "deps: the i386 and amd64 indexes disagree; asking for:" "${args[@]}" >&2
    DEBIAN_FRONTEND=noninteractive $CORVALE_SUDO apt-get install -y -qq --no-install-recommends \
        --allow-downgrades --no-remove "${args[@]}"
}

corvale_install_deps() {
    local missing missing32
    mapfile -t missing < <(corvale_missing_packages "${CORVALE_PACKAGES[@]}")
    mapfile -t missing32 < <(corvale_missing_packages "${CORVALE_PACKAGES_I386[@]}")
    [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ] && return 0
    if [ ${#missing32[@]} -ne 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $CORVALE_SUDO dpkg --add-architecture i386 || echo "deps: could not add the i386 architecture" >&2
    fi
    echo "Installing: ${missing[*]} ${missing32[*]}"
    # A mirror in the middle of a sync serves index files of the wrong size for a while: try
    # again, and after the last try go on with what was fetched (the install then says what it
    # cannot find).
    local try
    for try in 1 2 3 4 5; do
        $CORVALE_SUDO apt-get update -qq && break
        [ "$try" -eq 5 ] && echo "deps: apt-get update failed 5 times; going on" >&2 && break
        echo "deps: apt-get update failed (try $try of 5); again in $((try * 15)) s" >&2
        sleep $((try * 15))
    done
    local failed=0
    if [ ${#missing[@]} -ne 0 ]; then
        DEBIAN_FRONTEND=noninteractive $CORVALE_SUDO apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" || failed=1
    fi
    if [ ${#missing32[@]} -ne 0 ]; then
        DEBIAN_FRONTEND=noninteractive $CORVALE_SUDO apt-get install -y -qq --no-install-recommends \
            "${missing32[@]}" || failed=1
    fi
    if [ $failed -ne 0 ]; then
        mapfile -t missing < <(corvale_missing_packages "${CORVALE_PACKAGES[@]}")
        mapfile -t missing32 < <(corvale_missing_packages "${CORVALE_PACKAGES_I386[@]}")
        corvale_install_pinned "${missing[@]}" "${missing32[@]}" || true
    fi
    # Without the 32-bit loader everything else still builds and runs; tools/test then says
    # that the win32 tests were not run.
    mapfile -t missing32 < <(corvale_missing_packages "${CORVALE_PACKAGES_I386[@]}")
    [ ${#missing32[@]} -eq 0 ] || echo "deps: could not install ${missing32[*]}" >&2
    mapfile -t missing < <(corvale_missing_packages "${CORVALE_PACKAGES[@]}")
    [ ${#missing[@]} -eq 0 ] || { echo "deps: could not install ${missing[*]}" >&2; return 1; }
}
