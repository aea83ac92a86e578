#!/usr/bin/env bash
# Installs every Debian package the build, tests, oracle scripts and benchmarks
# need. Safe to run repeatedly: when everything is present it only checks.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ make pkg-config ccache git
  libgtest-dev libgmock-dev libbenchmark-dev
  qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
  libqt5svg5-dev libqt5svg5 qhelpgenerator-qt5 libqt5opengl5-dev
  libqwt-qt5-dev
  libhdf5-dev hdf5-tools zlib1g-dev libdeflate-dev
  libopencv-dev
  libarmadillo-dev liblapack-dev libblas-dev
  xvfb xauth
  python3 python3-numpy python3-scipy python3-sklearn python3-h5py
  python3-statsmodels umap-learn python3-opencv poppler-utils ffmpeg
  locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# A comma-decimal locale lets the tests prove that numbers we format do not
# follow the desktop locale.
ensure_test_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_test_locale
