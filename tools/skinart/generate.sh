#!/usr/bin/env bash
# Redraws the default skin's images into res/: builds torvane-skinart in the
# given build folder (default build/) and runs it on res/.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target torvane-skinart
"$build/bin/torvane-skinart" "$root/res"
