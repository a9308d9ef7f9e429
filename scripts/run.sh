#!/usr/bin/env bash
# Installs what is missing, builds, prepares a demo application directory (demo-home/) and starts
# the desktop program on it with the virtual 1-Wire bus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

HOME_DIR="$PWD/demo-home"
CLI=(build/src/nordalis-cli --home "$HOME_DIR" --registry "$HOME_DIR/registry.ini" --bus virtual)
mkdir -p "$HOME_DIR"

# A demo site at work (compartments, loggers read over three weeks, a power cut, one logger
# overdue and one due), prepared once on the virtual bus.
if [ ! -e "$HOME_DIR/.demo-site-ready" ]; then
  # An earlier demo directory is kept aside, never deleted.
  if [ -n "$(ls -A "$HOME_DIR" 2>/dev/null)" ]; then
    mv "$HOME_DIR" "$HOME_DIR.$(date +%Y%m%d-%H%M%S)"
    echo "run.sh: the earlier demo directory was moved aside" >&2
  fi
  mkdir -p "$HOME_DIR"
  if scripts/demo-site.sh "${CLI[@]}"; then
    touch "$HOME_DIR/.demo-site-ready"
  else
    echo "run.sh: the demo site could not be prepared; starting on what there is" >&2
  fi
fi

exec build/src/nordalis --home "$HOME_DIR" --registry "$HOME_DIR/registry.ini" --bus virtual "$@"
