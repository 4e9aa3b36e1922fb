#!/usr/bin/env bash
# Installs what the tests need, builds, and runs the whole suite headless.
set -euo pipefail
cd "$(dirname "$0")/.."
# Run through sudo in a checkout of the user's: the build is theirs again after.
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_UID:-}" ] && [ "$(stat -c %u .)" = "$SUDO_UID" ]; then
    build=$PWD/build
    trap 'chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" "$build" 2>/dev/null || true' EXIT
fi
scripts/install-deps.sh test
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
