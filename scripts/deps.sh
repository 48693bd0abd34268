#!/usr/bin/env bash
# Installs the Debian 12 packages uavsim needs to build, test and run.
# Runs apt-get only when something is missing.
set -euo pipefail
PKGS=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-charts-dev qt6-translations-l10n
      libgl-dev libglu1-mesa-dev libhidapi-dev libudev-dev libxkbcommon-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      clang-14 libclang-rt-14-dev
      xvfb xauth fonts-dejavu-core python3 imagemagick
      pybind11-dev python3-dev python3-numpy python3-pytest python3-distributed python3-matplotlib
      help2man lintian desktop-file-utils appstream)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
