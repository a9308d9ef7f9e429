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

# Site number of the demo installation (asked for once on a real first start).
if [ "$("${CLI[@]}" param get LocationID -1)" = "-1" ]; then
  "${CLI[@]}" init --site 1001 --description "Demo cold store"
fi

# A reader cable and three loggers on the virtual bus, once the simulator is there.
if [ ! -e "$HOME_DIR/.demo-bus-ready" ] && "${CLI[@]}" --help 2>/dev/null | grep -qE '^ +sim '; then
  "${CLI[@]}" sim add-cable &&
  "${CLI[@]}" sim add-logger --variant G &&
  "${CLI[@]}" sim add-logger --variant H &&
  "${CLI[@]}" sim add-logger --variant Z &&
  touch "$HOME_DIR/.demo-bus-ready" || echo "run.sh: the virtual bus could not be prepared; starting without loggers" >&2
fi

exec build/src/nordalis --home "$HOME_DIR" --registry "$HOME_DIR/registry.ini" --bus virtual "$@"
