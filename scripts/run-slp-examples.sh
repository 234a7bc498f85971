#!/bin/sh
# The SLP solver's example runs (slp/models and the generated refinery) into
# BUILD/slp (each can be followed while it solves), then their reports
# served by tarnview (it prints the address).
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
# Each run can be followed while it solves (slp/README.md).
echo "run-slp-examples.sh: to watch the runs as they solve, in another terminal:"
echo "  $build/bin/tarnview view $out/refinery     # the refinery's iterations as they come"
echo "  $build/bin/tarnview serve $out             # every run of the folder, in the browser"
"$build/bin/tarnslp" -o "$out" "$(dirname "$0")"/../slp/models/*.json "$out/refinery.json"
exec "$build/bin/tarnview" serve "$out"/*.log
