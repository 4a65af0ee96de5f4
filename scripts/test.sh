#!/usr/bin/env bash
# Builds everything and runs every test (GUI tests run on Qt's offscreen platform; the keyring's
# tests on a D-Bus session and gnome-keyring of their own, from scripts/test-packages.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/install-deps.sh" $(cat scripts/test-packages.txt)
scripts/build.sh build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
