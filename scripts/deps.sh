# Sourced by the other scripts: installs the Debian packages the build and
# the tests need, quickly when they are already there.
FERROLAN_PACKAGES="build-essential cmake ninja-build pkg-config googletest libgtest-dev \
libcli11-dev qt6-base-dev libgl-dev fonts-dejavu-core xvfb xauth lrzsz gpsd gpsd-clients libxml2-utils clang \
libncurses-dev tmux lintian help2man dpkg-dev desktop-file-utils file"

ferrolan_install_deps() {
  local missing=""
  for p in $FERROLAN_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing:$missing"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

# ferrolan_build DIR [cmake options...]
ferrolan_build() {
  local dir="$1"; shift
  cmake -S "$FERROLAN_SRC" -B "$FERROLAN_SRC/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$FERROLAN_SRC/$dir" -j"$(nproc)"
}
