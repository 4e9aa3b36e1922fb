#!/usr/bin/env bash
# Builds the Debian package pocketclips_<version>_<arch>.deb from the build
# tree (build/, built first if needed) and prints its path as the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
scripts/build.sh
rm -rf build/deb
(cd build && cpack -G DEB -B "$PWD/deb" >&2)
ls "$PWD"/build/deb/pocketclips_*.deb
