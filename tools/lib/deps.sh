# The Debian packages the project needs, installed when missing. Source it and call
# corvale_install_deps.
CORVALE_PACKAGES=(
    cmake ninja-build ccache g++ clang libclang-rt-14-dev clang-format pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
    zlib1g-dev libpng-dev libgif-dev libstb-dev libdeflate-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
    wine64 xvfb imagemagick xdotool python3-pil fonts-dejavu-core
)

corvale_install_deps() {
    local missing=() p
    for p in "${CORVALE_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
