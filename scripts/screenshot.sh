#!/usr/bin/env bash
# Retakes the README's picture of the main window, docs/mainwindow.png: a first
# start on a plain user's account with the output folder in the user's videos
# folder, on the fonts the program installs with, in a headless X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r build/Pocketclips "$work/"
export SHOT_HOME=/home/user SHOT_PROGRAM="$work/Pocketclips/pocketclips" SHOT_OUT="$PWD/docs/mainwindow.png"
printf '[SET2]\nC11=%s/Videos\n' "$SHOT_HOME" >"$work/Pocketclips/Pocketclips.ini"

# With no window manager the window stands at its design position, 21,21.
xvfb-run -a -s '-screen 0 800x700x24' bash -c '
    HOME=$SHOT_HOME "$SHOT_PROGRAM" &
    pid=$!
    # Wait for the silver title bar, then for the first activation to fill
    # the controls.
    for _ in $(seq 100); do
        import -window root -crop 1x1+221+33 txt:- | grep -qi "#C0C0C0" && break
        sleep 0.1
    done
    sleep 1
    import -window root -crop 400x591+21+21 +repage png:- | convert - -strip "$SHOT_OUT"
    kill "$pid"
    wait "$pid" || true'
echo "wrote $SHOT_OUT"
