#!/usr/bin/env bash
# Configures and builds into build/ (the program folder is build/Pocketclips).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPC_WERROR=ON "$@" >/dev/null
cmake --build build -j"$(nproc)"
