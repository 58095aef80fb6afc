# Shared set-up for ./run and ./test: Debian packages and a configured, built tree.
# Sourced, not run.

EXPBORD_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libgtest-dev libgmock-dev
 libmpg123-dev libsdl2-dev libusb-1.0-0-dev lame mpg123 fonts-dejavu-core xvfb xauth clang
 libclang-rt-14-dev clang-format"

expbord_missing_packages() {
    local p missing=""
    for p in $EXPBORD_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    echo "$missing"
}

expbord_install_packages() {
    local missing
    missing=$(expbord_missing_packages)
    [ -z "$missing" ] && return 0
    echo "Installing Debian packages:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Not root: install these packages first:$missing" >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing
}

# expbord_build DIR [cmake options...]: configure once, then build.
expbord_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$EXPBORD_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" || return 1
    fi
    cmake --build "$dir" || return 1
}
