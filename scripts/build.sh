#!/usr/bin/env bash
# Configures and builds into build/ (the program folder is build/Pocketclips).
#   build.sh [target...]   the listed targets only (default: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPC_WERROR=ON >/dev/null
targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
cmake --build build -j"$(nproc)" "${targets[@]}"
