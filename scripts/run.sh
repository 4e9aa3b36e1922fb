#!/usr/bin/env bash
# Installs what the program needs, builds it (the program folder only: the
# tests and benchmarks are built by scripts/test.sh) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
scripts/build.sh pc_program_folder
exec build/Pocketclips/pocketclips "$@"
