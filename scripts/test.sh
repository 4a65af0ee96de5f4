#!/usr/bin/env bash
# Builds everything and runs every test (GUI tests run on Qt's offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
