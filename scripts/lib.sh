# Shared by scripts/demo and scripts/test: Debian packages, and the build in build/.
# Source it; it expects ORVANE_ROOT to be the repository's top directory.

ORVANE_PACKAGES=(
  build-essential cmake pkg-config
  libavcodec-dev libavformat-dev libavutil-dev
  googletest libgtest-dev
  ffmpeg flac wavpack mkvtoolnix libdca-utils time file
  clang-14 libclang-rt-14-dev valgrind groff-base
  nasm dpkg-dev xz-utils debian-archive-keyring
)

# Installs the packages that are not installed yet; does nothing (and needs no network) when all are.
install_missing_packages() {
  local missing=() package
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "Not a Debian system: make sure these are installed: ${ORVANE_PACKAGES[*]}" >&2
    return 0
  fi
  for package in "${ORVANE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if ((${#missing[@]} == 0)); then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if ((EUID != 0)); then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "Need root (or sudo) to install: ${missing[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# Configures (once) and builds the program, the tests and the sample generator in build/.
build_project() {
  local jobs="${ORVANE_BUILD_JOBS:-2}"
  cmake -S "$ORVANE_ROOT" -B "$ORVANE_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$ORVANE_ROOT/build" -j "$jobs"
}
