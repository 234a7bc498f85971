#!/bin/sh
# The command-line host: usage, exit status, one line per base path, and
# --long-lists reaching the report.
#   host_test.sh TARNREPORT EXAMPLES_DIR
set -u
host="$1"
examples="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$host" --help > "$work/help" 2>&1 || fail "--help exit status"
grep -q "usage: tarnreport" "$work/help" || fail "--help text"
"$host" --version | grep -q "^tarnreport [0-9]" || fail "--version"
"$host" > /dev/null 2>&1; [ $? -eq 2 ] || fail "no base path: exit status 2"
"$host" --bogus x > /dev/null 2>&1; [ $? -eq 2 ] || fail "unknown option: exit status 2"

cp "$examples/blending.vdr" "$work/a.vdr"
cp "$examples/refinery_infeasible.vdr" "$work/b.vdr"
out=$("$host" "$work/a" "$work/b")
[ $? -eq 0 ] || fail "two good runs: exit status"
[ "$out" = "wrote $work/a.log
wrote $work/b.log" ] || fail "two good runs: output was: $out"
[ -s "$work/a.log" ] && [ -s "$work/b.log" ] || fail "reports not written"

out=$("$host" "$work/a" "$work/missing")
[ $? -eq 1 ] || fail "one missing run: exit status"
echo "$out" | grep -q "^Error: File $work/missing.vdr was not found.$" || fail "message of the missing run"
echo "$out" | grep -q "^report for $work/missing failed$" || fail "failure line: $out"

# Twelve equations with residuals: 10 rows by default, all 12 with --long-lists.
python3 - "$work/long.vdr" <<'PY'
import json, sys
eqs = [{"name": "E%02d" % i} for i in range(12)]
doc = {"format": "tarn-vdr", "version": 1, "case": {}, "model": {"name": "m", "variables": [{"name": "X"}], "equations": eqs},
       "iterations": [{"variables": [[0, 1e20, 0]], "equations": [[i + 1, 0, 0] for i in range(12)]}]}
open(sys.argv[1], "w").write(json.dumps(doc))
PY
rows() { sed -n '/Largest Residuals/,/#endregion/p' "$work/long.log" | grep -c '^E'; }
env -u KORMOPTIONS "$host" "$work/long" > /dev/null || fail "long run"
[ "$(rows)" -eq 10 ] || fail "default list limit: $(rows) rows"
KORMOPTIONS="-trace" "$host" --long-lists "$work/long" > /dev/null || fail "long run with --long-lists"
[ "$(rows)" -eq 12 ] || fail "--long-lists: $(rows) rows"

[ $failures -eq 0 ] && echo "host tests passed"
exit $failures
