#!/usr/bin/env bash
# Builds the Debian package from the release build:
#   bash scripts/package.sh            # -> build/release/uavsim_<version>_amd64.deb
# The build is configured again first, so the version carries the git
# description of the tree as it is now. Needs the packages of scripts/deps.sh
# (help2man for the manual pages, dpkg-dev for the dependencies).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build/release}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUAVSIM_WERROR=ON >/dev/null
cmake --build "$BUILD" -j2 >&2
rm -f "$BUILD"/uavsim_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD"/uavsim_*.deb)
echo "$DEB"
