#!/bin/sh
# The SLP solver's example runs (slp/models and the generated refinery) into
# BUILD/slp, then their reports served by tarnview (it prints the address).
#   run-slp-examples.sh [BUILD]
set -eu
build="${1:-build}"
out="$build/slp"
if [ ! -x "$build/bin/tarnslp" ]; then
    echo "run-slp-examples.sh: no $build/bin/tarnslp (it needs coinor-libclp-dev and libcli11-dev)" >&2
    exit 1
fi
mkdir -p "$out"
"$build/bin/tarnslp" --write-refinery "$out/refinery.json"
"$build/bin/tarnslp" -o "$out" "$(dirname "$0")"/../slp/models/*.json "$out/refinery.json"
exec "$build/bin/tarnview" serve "$out"/*.log
