#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 --timeout 600

# The worker's tests again, under ThreadSanitizer: a separate build that holds
# only those tests and what they link (TORVANE_TSAN in CMakeLists.txt).
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVANE_TSAN=ON >/dev/null
cmake --build build-tsan -j2
ctest --test-dir build-tsan --output-on-failure --timeout 600
bash tools/fuzz.sh 3  # every fuzzer for a short smoke run, in a build of its own (fuzz/README.md)
