#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ and runs it headless.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPC_SANITIZE=ON -DPC_WERROR=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan
# Leak reports come from the system's font and GUI libraries, not from us.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
