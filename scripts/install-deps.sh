#!/bin/sh
# Installs the Debian packages the build and the tests need.  As root it
# installs what is missing; otherwise it prints the apt-get line and fails.
set -eu

packages="cmake make g++ python3 python3-jsonschema rapidjson-dev libgtest-dev googletest locales
g++-mingw-w64-i686 binutils-mingw-w64-i686 libjs-chart.js pkg-config libcpp-httplib-dev"
case "${1:-}" in
    --windows-runtime) packages="$packages wine wine32:i386 wine64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64" ;;
    --browser) packages="$packages nodejs npm chromium" ;;
    --fuzz) packages="$packages clang libclang-rt-14-dev" ;;
    --screenshots) packages="$packages tmux chromium fonts-dejavu-core" ;;
esac

# Node and npm may come from elsewhere than Debian (NodeSource's nodejs
# ships npm and conflicts with Debian's npm): the command is enough.
is_installed() {
    case "$1" in
        nodejs) command -v node >/dev/null 2>&1 && return 0 ;;
        npm) command -v npm >/dev/null 2>&1 && return 0 ;;
    esac
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
for package in $packages; do
    is_installed "$package" || missing="$missing $package"
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
