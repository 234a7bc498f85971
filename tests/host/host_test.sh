#!/bin/sh
# The command-line host: usage, exit status, one line per run, run-data
# file names, --long-lists reaching the report, and several runs in
# processes of their own with their output in the order given.
#   host_test.sh TARNREPORT EXAMPLES_DIR
set -u
host="$1"
examples="$2"
. "$(dirname "$0")/../shell_checks.sh"

# Every run of the host is bounded: one still going after $limit seconds is
# stopped with its report processes (exit status 124) and named here.
limit=120
exec 3>&1
tarnreport() {
    timeout -k 10 $limit "$host" "$@"; ended=$?
    [ $ended -ne 124 ] || echo "FAIL: tarnreport $* did not end within $limit s" >&3
    return $ended
}

for option in -h --help; do
    tarnreport $option > "$work/help" 2>&1 || fail "$option exit status"
    grep -q "^Usage: tarnreport" "$work/help" || fail "$option text"
done
for option in -V --version; do
    tarnreport $option | grep -q "^tarnreport [0-9]" || fail "$option"
done
# A usage error: one line that names the problem, the hint, status 2.
usage_error() {
    expected="$1"; shift
    tarnreport "$@" > "$work/out" 2> "$work/err"; status=$?
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
out=$(tarnreport "$work/a" "$work/b")
[ $? -eq 0 ] || fail "two good runs: exit status"
[ "$out" = "wrote $work/a.log
wrote $work/b.log" ] || fail "two good runs: output was: $out"
[ -s "$work/a.log" ] && [ -s "$work/b.log" ] || fail "reports not written"
out=$(tarnreport "$work/a.vdr")
[ "$out" = "wrote $work/a.log" ] || fail "run named by its data file: $out"
out=$(tarnreport "$work/a.log")
[ "$out" = "wrote $work/a.log" ] || fail "run named by its report: $out"

out=$(tarnreport "$work/a" "$work/missing")
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
(unset KORMOPTIONS; tarnreport "$work/long" > /dev/null) || fail "long run"
[ "$(rows)" -eq 10 ] || fail "default list limit: $(rows) rows"
(export KORMOPTIONS="-trace"; tarnreport --long-lists "$work/long" > /dev/null) || fail "long run with --long-lists"
[ "$(rows)" -eq 12 ] || fail "--long-lists: $(rows) rows"
rm "$work/long.log"
(unset KORMOPTIONS; tarnreport --long-lists -j 2 "$work/long" "$work/a" > /dev/null) || fail "long runs"
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
tarnreport -j 3 "$@" > "$work/out" 2> "$work/err"; status=$?
[ $status -eq 1 ] || fail "twelve runs, one missing: exit status $status"
printf '%s' "$expected" | cmp -s - "$work/out" || fail "twelve runs: output was: $(cat "$work/out")"
[ ! -s "$work/err" ] || fail "twelve runs: no progress line off a terminal: $(cat "$work/err")"
cmp -s "$work/run01.log" "$work/run12.log" || fail "reports of equal runs differ"
tarnreport -j3 "$@" | grep -v run07 | sed 's/^wrote //' | xargs ls > /dev/null || fail "reports listed but missing"

# On a terminal (where script can make one), a progress line on standard
# error.
if script -qec true /dev/null > /dev/null 2>&1 < /dev/null; then
    timeout -k 10 $limit script -qec "'$host' -j 2 $work/run01 $work/run02 $work/run03 $work/run04 $work/run05 2>&1" \
        /dev/null > "$work/tty" < /dev/null
    grep -q "tarnreport: 5 of 5 reports done" "$work/tty" || fail "progress line: $(cat -A "$work/tty")"
fi

# A run that finishes last is still printed first: a large run given before
# three small ones, all started at once.  The large one takes many times
# longer, and its report file's time shows that it did end last.
python3 "$(dirname "$0")/write_large_run.py" "$work/large.vdr" 30
cp "$work/large.vdr" "$work/slow.vdr"
tarnreport -j 4 "$work/slow" "$work/run01" "$work/run02" "$work/run03" > "$work/out"; status=$?
[ $status -eq 0 ] || fail "slow run first: exit status $status"
printf 'wrote %s\n' "$work/slow.log" "$work/run01.log" "$work/run02.log" "$work/run03.log" |
    cmp -s - "$work/out" || fail "slow run first: output was: $(cat "$work/out")"
[ -n "$(find "$work/slow.log" -newer "$work/run03.log")" ] ||
    fail "slow run first: it did not end last, so the order was not tested"
rm -f "$work/slow.log"

# A report process killed by a signal counts as a failed report, with the
# reason: here the large run's report passes the file size limit (SIGXFSZ).
cp "$work/large.vdr" "$work/killed.vdr"
(ulimit -c 0 && ulimit -f 1000 && tarnreport -j 3 "$work/run01" "$work/killed" "$work/run02") \
    > "$work/out" 2> "$work/err"; status=$?
[ $status -eq 1 ] || fail "killed report process: exit status $status"
printf 'wrote %s\nreport for %s failed\nwrote %s\n' "$work/run01.log" "$work/killed" "$work/run02.log" |
    cmp -s - "$work/out" || fail "killed report process: output was: $(cat "$work/out")"
grep -q "^tarnreport: the report process for $work/killed was killed by signal [0-9]* (File size limit exceeded)$" \
    "$work/err" || fail "killed report process: standard error was: $(cat "$work/err")"

# SIGTERM, SIGINT and SIGHUP stop a batch alike: the running report
# processes are ended and reported as killed, none is left behind, no
# further run starts, a line says so, and the exit status is 128 + N.
# The slow runs are the large run three times over.
python3 - "$work/large.vdr" "$work/slow1.vdr" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
doc["iterations"] = doc["iterations"] * 3
open(sys.argv[2], "w").write(json.dumps(doc))
PY
for slow in slow2 slow3; do cp "$work/slow1.vdr" "$work/$slow.vdr"; done
for stop in TERM:15 INT:2 HUP:1; do
    signal=${stop%:*} number=${stop#*:}
    rm -f "$work"/slow?.log
    "$host" -j 2 "$work/slow1" "$work/slow2" "$work/slow3" "$work/run01" > "$work/out" 2> "$work/err" &
    batch=$!
    # Both report processes are writing once both reports exist.
    for wait in $(seq 300); do
        [ -e "$work/slow1.log" ] && [ -e "$work/slow2.log" ] && break
        sleep 0.1
    done
    children=$(cat /proc/$batch/task/$batch/children 2> /dev/null)
    kill -s "$signal" $batch
    wait $batch; status=$?
    [ $status -eq $((128 + number)) ] || fail "SIG$signal: exit status $status"
    grep -q "^tarnreport: stopped by signal $number (.*): 2 report processes ended, 2 runs not started$" "$work/err" ||
        fail "SIG$signal: standard error was: $(cat "$work/err")"
    printf 'report for %s failed\n' "$work/slow1" "$work/slow2" | cmp -s - "$work/out" ||
        fail "SIG$signal: output was: $(cat "$work/out")"
    for child in $children; do
        ! kill -0 "$child" 2> /dev/null || fail "SIG$signal: report process $child left running"
    done
done

# More jobs than file descriptors allow: each run waits for a slot instead
# of failing; and scratch files need no TMPDIR.
runs=""
for i in $(seq 100 199); do cp "$work/run01.vdr" "$work/many$i.vdr"; runs="$runs $work/many$i"; done
(ulimit -n 64 && tarnreport -j 100 $runs) > "$work/out" 2> "$work/err"; status=$?
[ $status -eq 0 ] || fail "-j 100 with 64 descriptors: exit status $status: $(head -3 "$work/err")"
[ "$(grep -c '^wrote ' "$work/out")" -eq 100 ] || fail "-j 100 with 64 descriptors: $(grep -v '^wrote' "$work/out" | head -3)"
TMPDIR="$work/missing-directory" tarnreport "$work/run01" "$work/run02" > "$work/out" 2>&1 ||
    fail "a batch without its TMPDIR: $(cat "$work/out")"

finish "host tests"
