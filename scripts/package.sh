#!/usr/bin/env bash
# Builds the Debian package of the four programs into build-package/ and prints its path.
# Install it with: sudo apt install ./build-package/tradomir-vqs_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/install-deps.sh" $(cat scripts/build-packages.txt) dpkg-dev file
echo "Baue das Paket in build-package/ ..." >&2
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DVQS_TESTS=OFF -DVQS_BENCH=OFF >/dev/null
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
ls "$PWD"/build-package/tradomir-vqs_*.deb
