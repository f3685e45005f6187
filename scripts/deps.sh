# Installs the Debian packages that building, testing and the demo need, when missing.
# Sourced by scripts/test and scripts/demo.

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
)

vantorel_install_deps() {
  local missing=()
  for p in "${VANTOREL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
