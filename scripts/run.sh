#!/usr/bin/env bash
# Builds the program and starts it on the built-in simulated broker. Its home folder (title
# definitions, data files) is ~/.local/share/Tradomir/TradomirVQS unless TRADOMIR_VQS_HOME says
# otherwise. Arguments are passed on ("/K", "/W 5").
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build >/dev/null
export TRADOMIR_VQS_HOME="${TRADOMIR_VQS_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/Tradomir/TradomirVQS}"
exec build/bin/TradomirVQS "$@"
