#!/usr/bin/env bash
# Installs the Debian packages Pocketclips needs; skips what is already there.
#   install-deps.sh run      what building and running the program needs
#   install-deps.sh package  that, plus what making the Debian package needs
#   install-deps.sh test     all that, plus what the test suite needs
set -euo pipefail

mode=${1:-run}
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools libjpeg62-turbo-dev
          ffmpeg fonts-ipafont-gothic fonts-wine)
if [ "$mode" = package ] || [ "$mode" = test ]; then
    packages+=(dpkg-dev file lintian)
fi
if [ "$mode" = test ]; then
    # The accessibility tests: a session bus, the accessibility bus and
    # registry, pyatspi to read the program as a screen reader does, and
    # Orca to hear what a screen reader says.
    packages+=(dbus-bin dbus-daemon at-spi2-core python3-pyatspi orca)
    # The desktop services' test: logind, a notification daemon and a file
    # manager as test doubles on private buses.
    packages+=(python3-dbusmock)
    packages+=(xvfb xauth openbox xdotool clang libclang-rt-14-dev imagemagick mediainfo
               desktop-file-utils appstream dosfstools)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
