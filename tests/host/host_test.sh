#!/bin/sh
# The command-line host: usage, exit status, one line per run, run-data
# file names, --long-lists reaching the report, and several runs in
# processes of their own with their output in the order given.
#   host_test.sh TARNREPORT EXAMPLES_DIR
set -u
host="$1"
examples="$2"
. "$(dirname "$0")/../shell_checks.sh"

for option in -h --help; do
    "$host" $option > "$work/help" 2>&1 || fail "$option exit status"
    grep -q "^Usage: tarnreport" "$work/help" || fail "$option text"
done
for option in -V --version; do
    "$host" $option | grep -q "^tarnreport [0-9]" || fail "$option"
done
# A usage error: one line that names the problem, the hint, status 2.
usage_error() {
    expected="$1"; shift
    "$host" "$@" > "$work/out" 2> "$work/err"; status=$?
    [ $status -eq 2 ] || fail "$*: exit status $status"
    [ ! -s "$work/out" ] || fail "$*: standard output not empty"
    printf '%s\n%s\n' "tarnreport: $expected" "Try 'tarnreport --help' for more information." |
        cmp -s - "$work/err" || fail "$*: standard error was: $(cat "$work/err")"
}
usage_error "no run given"
usage_error "unknown option '--bogus'" --bogus x
usage_error "unknown option '-x'" -x x
usage_error "option '-j' needs a number" x -j
usage_error "invalid number of jobs '0'" -j 0 x
usage_error "invalid number of jobs 'two'" --jobs=two x

cp "$examples/blending.vdr" "$work/a.vdr"
cp "$examples/refinery_infeasible.vdr" "$work/b.vdr"
out=$("$host" "$work/a" "$work/b")
[ $? -eq 0 ] || fail "two good runs: exit status"
[ "$out" = "wrote $work/a.log
wrote $work/b.log" ] || fail "two good runs: output was: $out"
[ -s "$work/a.log" ] && [ -s "$work/b.log" ] || fail "reports not written"
out=$("$host" "$work/a.vdr")
[ "$out" = "wrote $work/a.log" ] || fail "run named by its data file: $out"

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
rm "$work/long.log"
env -u KORMOPTIONS "$host" --long-lists -j 2 "$work/long" "$work/a" > /dev/null || fail "long runs"
[ "$(rows)" -eq 12 ] || fail "--long-lists in a report process: $(rows) rows"

# Twelve runs, one missing among them, three at a time: a line per run in
# the order given, the missing run's message before its line, status 1.
expected=""
set --
for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
    if [ $i = 07 ]; then
        set -- "$@" "$work/run$i"
        expected="${expected}Error: File $work/run$i.vdr was not found.
report for $work/run$i failed
"
    else
        cp "$examples/blending.vdr" "$work/run$i.vdr"
        set -- "$@" "$work/run$i.vdr"
        expected="${expected}wrote $work/run$i.log
"
    fi
done
"$host" -j 3 "$@" > "$work/out" 2> "$work/err"; status=$?
[ $status -eq 1 ] || fail "twelve runs, one missing: exit status $status"
printf '%s' "$expected" | cmp -s - "$work/out" || fail "twelve runs: output was: $(cat "$work/out")"
[ ! -s "$work/err" ] || fail "twelve runs: no progress line off a terminal: $(cat "$work/err")"
cmp -s "$work/run01.log" "$work/run12.log" || fail "reports of equal runs differ"
"$host" -j3 "$@" | grep -v run07 | sed 's/^wrote //' | xargs ls > /dev/null || fail "reports listed but missing"

# On a terminal (where script can make one), a progress line on standard
# error.
if script -qec true /dev/null > /dev/null 2>&1 < /dev/null; then
    script -qec "'$host' -j 2 $work/run01 $work/run02 $work/run03 $work/run04 $work/run05 2>&1" \
        /dev/null > "$work/tty" < /dev/null
    grep -q "tarnreport: 5 of 5 reports done" "$work/tty" || fail "progress line: $(cat -A "$work/tty")"
fi

# A run that finishes last is still printed first; a report process that is
# killed counts as a failed report, with the reason.  Their report files are
# FIFOs, so those reports wait until the test lets them go.
cp "$examples/blending.vdr" "$work/slow.vdr"
cp "$examples/blending.vdr" "$work/killed.vdr"
mkfifo "$work/slow.log" "$work/killed.log"
"$host" -j 4 "$work/slow" "$work/killed" "$work/run01" "$work/run02" > "$work/out" 2> "$work/err" &
host_pid=$!
child_of() {  # the report process of a run
    ps -o pid=,args= --ppid $host_pid | awk -v run="$1" '$NF == run { print $1 }'
}
waited=0
until [ -n "$(child_of "$work/killed")" ] && [ -n "$(child_of "$work/slow")" ] &&
      [ -z "$(child_of "$work/run01")" ] && [ -z "$(child_of "$work/run02")" ] || [ $waited -eq 300 ]; do
    sleep 0.1; waited=$((waited + 1))
done
kill -KILL "$(child_of "$work/killed")" || fail "no report process for the killed run"
cat "$work/slow.log" > /dev/null
wait $host_pid; status=$?
[ $status -eq 1 ] || fail "killed report process: exit status $status"
printf 'wrote %s\nreport for %s failed\nwrote %s\nwrote %s\n' "$work/slow.log" "$work/killed" \
    "$work/run01.log" "$work/run02.log" | cmp -s - "$work/out" || fail "slow first: $(cat "$work/out")"
grep -q "^tarnreport: the report process for $work/killed was killed by signal 9" "$work/err" ||
    fail "killed report process: $(cat "$work/err")"

finish "host tests"
