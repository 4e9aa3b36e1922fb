#!/bin/sh
# The folders the tests run in, so that no test reads or leaves anything in
# the real home or directly under /tmp (ctest runs this before and after the
# suite; tests/CMakeLists.txt points each test's variables into them).
#   test-folders.sh make ROOT NAME...   for each test NAME: ROOT/NAME/home
#                                       (with .config and .cache), ROOT/NAME/run
#                                       (mode 0700) and ROOT/NAME/tmp
#   test-folders.sh remove ROOT
# ROOT is made anew: a folder already there (left by a run that was killed)
# goes first, and if something takes the name meanwhile, making it fails.
# Every user can pass through ROOT and NAME, and tmp is open to all as /tmp
# is (sticky): parts of some tests run as "nobody" in folders made there.
set -eu
what=$1 root=$2
shift 2
remove() {
    if [ -e "$root" ] || [ -L "$root" ]; then
        # Tests make read-only and unreadable folders; an ordinary user must
        # open them again to remove them.
        [ -L "$root" ] || chmod -R u+rwx "$root" 2>/dev/null || true
        rm -rf "$root"
    fi
}
case $what in
make)
    remove
    mkdir -m 0711 "$root"
    for name in "$@"; do
        mkdir -m 0755 "$root/$name"
        mkdir -m 1777 "$root/$name/tmp"
        mkdir -m 0700 "$root/$name/home" "$root/$name/run"
        mkdir -m 0700 "$root/$name/home/.config" "$root/$name/home/.cache"
    done
    ;;
remove)
    remove
    ;;
*)
    echo "usage: $0 make ROOT NAME... | remove ROOT" >&2
    exit 2
    ;;
esac
