#!/usr/bin/env bash
# Installs what is needed, builds, and runs the client against the bundled
# stand-in operator on 127.0.0.1:18630. Ctrl+C (or the tray menu's quit) ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
if [ -x build/bin/torvane-operator ]; then
  build/bin/torvane-operator --port 18630 --timeout 86400 &
  operator=$!
  trap 'kill $operator 2>/dev/null || true' EXIT
fi
build/bin/torvane
