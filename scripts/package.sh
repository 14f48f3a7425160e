#!/usr/bin/env bash
# Builds the two Debian packages, acc00420-server and acc00420-backoffice, into build-package/
# (a Release tree installed under /usr).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-package --target acc00420-server backoffice PKG_Acc00420 acc00420-receipt acc00420-statement
(cd build-package && cpack -G DEB)
ls build-package/*.deb
