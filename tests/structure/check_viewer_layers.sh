#!/bin/sh
# The viewer's layers, read from its source tree: reader at the bottom, then
# server and terminal, then the commands (cli) on top. Each includes only
# downward: the reader none of the others; the server and the terminal view
# nothing of each other or of cli/; cli/ nothing of server/ but in serve.cpp,
# the command that starts the server.
# Usage: check_viewer_layers.sh SOURCE_DIR
. "$(dirname "$0")/../shell_checks.sh"
viewer="$1/viewer"
[ -d "$viewer/reader" ] && [ -d "$viewer/cli" ] || { echo "no viewer sources under $1"; exit 2; }

# The headers of a layer, one name a line.
headers() { (cd "$viewer/$1" && ls -- *.h); }

# Fails when a file of layer $1 (but those named in $3) includes a header
# of layer $2.
check() {
    headers "$2" >"$work/above"
    for file in "$viewer/$1"/*.h "$viewer/$1"/*.cpp; do
        case " $3 " in *" $(basename "$file") "*) continue ;; esac
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" |
            grep -Fxf "$work/above" | sed "s|^|$1/$(basename "$file") includes $2/|"
    done >"$work/found"
    if [ -s "$work/found" ]; then
        cat "$work/found"
        fail "viewer/$1/ includes a header of viewer/$2/"
    fi
}

for above in cli server terminal; do check reader "$above" ""; done
check server cli ""
check server terminal ""
check terminal cli ""
check terminal server ""
check cli server "serve.cpp"
finish "viewer layers"
