# Sourced by the other scripts: installs the Debian packages the programs'
# build needs (ferrolan_install_deps) and those the tests add
# (ferrolan_install_test_deps), quickly when they are already there.
FERROLAN_BUILD_PACKAGES="build-essential cmake ninja-build pkg-config libcli11-dev qt6-base-dev libgl-dev \
libncurses-dev libudev-dev libsqlite3-dev fonts-dejavu-core"
FERROLAN_TEST_PACKAGES="googletest libgtest-dev xvfb xauth lrzsz gpsd gpsd-clients libxml2-utils clang tmux \
lintian help2man dpkg-dev desktop-file-utils file git sqlite3 chromium zlib1g-dev"

# ferrolan_install_packages PACKAGE...
ferrolan_install_packages() {
  local missing=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing:$missing"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

ferrolan_install_deps() { ferrolan_install_packages $FERROLAN_BUILD_PACKAGES; }
ferrolan_install_test_deps() { ferrolan_install_packages $FERROLAN_BUILD_PACKAGES $FERROLAN_TEST_PACKAGES; }

# ferrolan_build DIR [cmake options...]: configures and builds every target,
# or only those in FERROLAN_TARGETS.
ferrolan_build() {
  local dir="$1"; shift
  cmake -S "$FERROLAN_SRC" -B "$FERROLAN_SRC/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$FERROLAN_SRC/$dir" -j"$(nproc)" ${FERROLAN_TARGETS:+--target $FERROLAN_TARGETS}
}
