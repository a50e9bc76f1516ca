# Shared by the scripts in scripts/ and fuzz/: Debian packages, and the build in build/.
# Source it; it expects ORVANE_ROOT to be the repository's top directory.

# Building the program, the sample generator and the tests (whose tree holds the generator).
ORVANE_BUILD_PACKAGES=(
  build-essential cmake pkg-config
  libavcodec-dev libavformat-dev libavutil-dev
  googletest libgtest-dev
)
# What the test suite uses besides: independent tools to check outputs with, `file` for CPack's
# Debian package, groff for the manual page; `time` for bench/run.
ORVANE_TEST_PACKAGES=(
  ffmpeg flac wavpack mkvtoolnix libdca-utils file groff-base time
)
# The memory checkers: the fuzz targets are built with clang and libFuzzer; Valgrind.
ORVANE_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
ORVANE_VALGRIND_PACKAGES=(valgrind)
# scripts/build-ffmpeg: Debian's FFmpeg source package, built into static libraries.
ORVANE_BUNDLE_PACKAGES=(nasm dpkg-dev xz-utils debian-archive-keyring)
ORVANE_PACKAGES=(
  "${ORVANE_BUILD_PACKAGES[@]}" "${ORVANE_TEST_PACKAGES[@]}" "${ORVANE_FUZZ_PACKAGES[@]}"
  "${ORVANE_VALGRIND_PACKAGES[@]}" "${ORVANE_BUNDLE_PACKAGES[@]}"
)

# scripts/build-windows: the MinGW-w64 cross compiler (with the bundle's packages for FFmpeg);
# scripts/test-windows: Wine to run the result.
ORVANE_WINDOWS_BUILD_PACKAGES=(g++-mingw-w64-x86-64-posix)
ORVANE_WINDOWS_TEST_PACKAGES=(wine64)

# Installs those of the named packages (all of the above when none is named) that are not
# installed yet; does nothing (and needs no network) when all are.
install_missing_packages() {
  local missing=() package
  (($# > 0)) || set -- "${ORVANE_PACKAGES[@]}"
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "Not a Debian system: make sure these are installed: $*" >&2
    return 0
  fi
  for package in "$@"; do
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

# Configures (once) and builds in build/: the named targets, or everything when none is named.
build_project() {
  local jobs="${ORVANE_BUILD_JOBS:-2}" targets=()
  (($# == 0)) || targets=(--target "$@")
  cmake -S "$ORVANE_ROOT" -B "$ORVANE_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$ORVANE_ROOT/build" -j "$jobs" "${targets[@]}"
}
