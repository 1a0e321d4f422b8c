# Shared by scripts/run and scripts/test: installs the Debian packages the build and the tests
# need (only the missing ones) and offers a build helper. Sourced, not run.

KVIZOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

KVIZOR_BUILD_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-svg-dev qt6-pdf-dev qt6-qpa-plugins libqt6svg6 libgl-dev
    qt6-websockets-dev
    libzip-dev zlib1g-dev libgsf-1-dev libemf2svg-dev libpng-dev
    fonts-dejavu-core
)
KVIZOR_TEST_PACKAGES=(
    libgtest-dev libgmock-dev clang libclang-rt-14-dev
    xvfb xauth xdotool x11-utils openbox
    zip unzip python3 python3-olefile
    fonts-dejavu-extra desktop-file-utils
    util-linux chromium libbenchmark-dev libxcb1-dev
)

kvizor_install() {
    local missing=()
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# kvizor_build DIR [cmake options...]: our own builds treat warnings as errors.
kvizor_build() {
    local dir=$1
    shift
    cmake -S "$KVIZOR_ROOT" -B "$dir" -G Ninja -DKVIZOR_WERROR=ON "$@"
    cmake --build "$dir" -j "$(nproc)"
}

# kvizor_build_program: the program alone, optimised, in build/ (what scripts/run starts).
kvizor_build_program() {
    kvizor_build "$KVIZOR_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVIZOR_TESTS=OFF
}
