#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program on a demo application directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
exec build/src/nordalis --home "$PWD/demo-home" "$@"
