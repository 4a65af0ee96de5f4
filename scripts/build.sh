#!/usr/bin/env bash
# Configures and builds into the given folder (default: build) with the given CMake options.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/install-deps.sh" $(cat scripts/build-packages.txt)
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
