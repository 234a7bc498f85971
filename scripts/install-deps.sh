#!/bin/sh
# Installs the Debian packages the build and the tests need.  As root it
# installs what is missing; otherwise it prints the apt-get line and fails.
set -eu

packages="cmake make g++ python3 python3-jsonschema rapidjson-dev libgtest-dev googletest locales
g++-mingw-w64-i686 binutils-mingw-w64-i686"
case "${1:-}" in
    --windows-runtime) packages="$packages wine wine32:i386 wine64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64" ;;
    --fuzz) packages="$packages clang libclang-rt-14-dev" ;;
    --screenshots) packages="$packages tmux chromium fonts-dejavu-core" ;;
esac

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install --no-install-recommends$missing" >&2
    exit 1
fi
case "$missing" in
    *:i386*) dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
