#!/bin/sh
# Installs the Debian packages a profile needs.  As root it installs what is
# missing; otherwise it prints the apt-get line and fails.
#
#   install-deps.sh            everything make test needs (the default)
#   install-deps.sh --run      a build of the libraries, tarnreport and tarnview (make run)
#   install-deps.sh --install  that and the manual pages (make install)
#   install-deps.sh --package  that, and the Debian packaging tools (make package)
#   install-deps.sh --windows-runtime   everything, the 64-bit MinGW and Wine (make test-windows)
#   install-deps.sh --fuzz     everything, and clang (make fuzz)
#   install-deps.sh --browser  everything, Node.js, npm and Chromium (make test-browser)
#   install-deps.sh --screenshots  everything, tmux and Chromium (make screenshots)
set -eu

viewer="pkg-config libcpp-httplib-dev libjs-chart.js"
run="cmake make g++ rapidjson-dev libcli11-dev libncurses-dev $viewer"
install="$run help2man"
package="$install dpkg-dev file"
test="$package python3 python3-jsonschema libgtest-dev googletest locales
g++-mingw-w64-i686 binutils-mingw-w64-i686 lintian man-db procps coinor-libclp-dev coinor-libipopt-dev gfortran tmux nodejs"
case "${1:-}" in
    --run) packages="$run" ;;
    --install) packages="$install" ;;
    --package) packages="$package" ;;
    --windows-runtime) packages="$test wine wine32:i386 wine64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64" ;;
    --browser) packages="$test nodejs npm chromium" ;;
    --fuzz) packages="$test clang libclang-rt-14-dev" ;;
    --screenshots) packages="$test tmux chromium fonts-dejavu-core" ;;
    "") packages="$test" ;;
    *) echo "install-deps.sh: unknown profile $1" >&2; exit 2 ;;
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
