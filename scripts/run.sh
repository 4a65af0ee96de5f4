#!/usr/bin/env bash
# Builds the program (only what it needs, with the build's progress) and starts it on the
# built-in simulated broker. Its home folder (title definitions, data files) is
# ~/.local/share/Tradomir/TradomirVQS unless TRADOMIR_VQS_HOME says otherwise. Arguments are
# passed on ("/K", "/W 5").
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/install-deps.sh" $(cat scripts/build-packages.txt)
echo "Baue TradomirVQS in build/ ..." >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target TradomirVQS -j"$(nproc)"
export TRADOMIR_VQS_HOME="${TRADOMIR_VQS_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/Tradomir/TradomirVQS}"
exec build/bin/TradomirVQS "$@"
