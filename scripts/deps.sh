# Installs the Debian packages that building, testing and the demo need, when missing.
# Sourced by scripts/test, scripts/demo and scripts/package.

VANTOREL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libcurl4-openssl-dev libjpeg62-turbo-dev libsdl2-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  fonts-ipafont-gothic clang libclang-rt-14-dev xvfb xauth
  libjpeg-turbo-progs libspandsp-dev libavcodec-dev xdotool imagemagick sox
  # scripts/package: the .deb, its manual pages and icons, and the checks on them.
  dpkg-dev file help2man librsvg2-bin desktop-file-utils lintian
  # the simulated camera: gzip answers and Digest hashes.
  zlib1g-dev libssl-dev
  # WAV files and rate conversion.
  libsndfile1-dev libsamplerate0-dev
  # vantorel.ini.
  libinih-dev
  # the echo canceller: WebRTC's audio processing; SpeexDSP for the VANTOREL_ECHO=speex build.
  libwebrtc-audio-processing-dev libspeexdsp-dev
)

vantorel_install_deps() {
  local missing=() native
  native=$(dpkg --print-architecture)
  for p in "${VANTOREL_PACKAGES[@]}"; do
    # This machine's own (or an architecture-independent) package: an :arm64 one installed
    # for the cross build answers to the same name.
    dpkg-query -W -f='${Status} ${Architecture}\n' "$p" 2>/dev/null |
      grep -Eq "install ok installed ($native|all)$" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The arm64 cross build (scripts/package --arch arm64, scripts/test-arm64): Debian's cross
# toolchain, qemu's user-mode emulator, and the :arm64 libraries beside the amd64 ones
# (every -dev package here is Multi-Arch: same; Qt's moc, uic and rcc stay amd64, from
# qt6-base-dev-tools). The plain build never installs these.
VANTOREL_ARM64_TOOLS=(crossbuild-essential-arm64 qemu-user-static)
VANTOREL_ARM64_LIBS=(
  qt6-base-dev libcurl4-openssl-dev libjpeg62-turbo-dev libsdl2-dev
  libsndfile1-dev libsamplerate0-dev zlib1g-dev libssl-dev libcpp-httplib-dev libinih-dev
  libwebrtc-audio-processing-dev libspeexdsp-dev
  # the configure step looks for GoogleTest even when the tests are off.
  libgtest-dev libgmock-dev
)
# The arm64 tests: the codec's second implementation and the image tests' decoder.
VANTOREL_ARM64_TEST_LIBS=(libspandsp-dev libavcodec-dev)

# vantorel_install_arm64_deps [tests]
vantorel_install_arm64_deps() {
  local wanted=("${VANTOREL_ARM64_TOOLS[@]}") p missing=()
  for p in "${VANTOREL_ARM64_LIBS[@]}"; do wanted+=("$p:arm64"); done
  if [ "${1:-}" = tests ]; then
    for p in "${VANTOREL_ARM64_TEST_LIBS[@]}"; do wanted+=("$p:arm64"); done
  fi
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
  fi
  $sudo apt-get update -qq
  # --no-remove: a package that cannot stand beside its amd64 twin stops the install
  # instead of taking the amd64 build's libraries away.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends --no-remove \
    "${missing[@]}"
}
