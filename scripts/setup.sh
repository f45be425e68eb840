#!/usr/bin/env bash
# Installs every Debian package Lumatrace needs to build, run and test.
# Does nothing when all of them are present; runs `apt-get update` only when
# something is missing. Never asks questions.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  # program
  qt6-base-dev libgl-dev libjpeg62-turbo-dev
  # the English translation: lupdate/lrelease and their CMake package (Qt6LinguistTools)
  qt6-l10n-tools qt6-tools-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
  # running the program without a display, looking at it, Japanese text and the
  # fixed-pitch face of the set-information readouts (fonts-ipafont-gothic)
  xvfb xauth imagemagick fonts-ipafont-gothic
  # the remote-control example and its test: Debian's pyvisa and matplotlib
  python3-pyvisa python3-pyvisa-py python3-matplotlib python3-numpy
  # Windows builds of the FFT library and the driver, and running the DLL test
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  mingw-w64-x86-64-dev wine wine64
  # Debian packages of the program, and checking their desktop entry and metainfo
  dpkg-dev desktop-file-utils appstream shared-mime-info groff-base
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
