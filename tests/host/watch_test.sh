#!/bin/bash
# tarnreport --watch: the reports of runs closed under the folder while it
# watches (renamed in, written in place, linked, in new folders), at once
# and with --poll; a run still being written, a hidden temporary, a hidden
# folder and a progress file passed over; a bad run told and the watch going on; twenty
# runs with -j 4; --once and a report newer than its data; the end on
# SIGTERM after the report in hand.  Every wait is for a line the watch
# prints, bounded.
#   watch_test.sh TARNREPORT EXAMPLES_DIR
set -u
host="$1"
examples="$2"
. "$(dirname "$0")/../shell_checks.sh"
limit=${WATCH_TEST_LIMIT:-120}  # seconds; shorter to see a broken watch fail sooner
good="$examples/blending.vdr"
watch=""
trap '[ -z "$watch" ] || kill $watch 2> /dev/null; rm -rf "$work"' EXIT

# Closes a run as the writer does: written under another name, renamed.
close_run() {
    cp "$good" "$1.tmp-$$" && mv "$1.tmp-$$" "$1"
}

# Starts a watch of $1 (further arguments are options) with its standard
# output read line by line from descriptor 5.
start_watch() {
    folder="$1"; shift
    rm -f "$work/lines"; mkfifo "$work/lines"
    "$host" --watch "$folder" "$@" > "$work/lines" 2> "$work/err" &
    watch=$!
    exec 5< "$work/lines"
}
# The next line the watch prints, in $line; fails after $limit seconds.
next_line() {
    IFS= read -r -t $limit line <&5 || { fail "$1: no line from the watch: $(cat "$work/err")"; line=""; return 1; }
}
expect_line() {
    next_line "$2" && [ "$line" = "$1" ] || fail "$2: the line was '$line', not '$1'"
}
stop_watch() {
    kill -TERM $watch; wait $watch; stopped=$?
    exec 5<&-
}

# Usage errors and a folder that is none.
for arguments in "--once x" "--poll x" "--watch $work x"; do
    "$host" $arguments > /dev/null 2> "$work/err"; status=$?
    [ $status -eq 2 ] || fail "$arguments: exit status $status"
    grep -q "^tarnreport: .*'--" "$work/err" || fail "$arguments: $(cat "$work/err")"
done
"$host" --watch "$work/missing" --once 2> "$work/err"; status=$?
[ $status -eq 1 ] && grep -q "^tarnreport: cannot watch $work/missing: no such folder$" "$work/err" ||
    fail "missing folder: status $status: $(cat "$work/err")"

# --once: every closed run under the folder without a newer report; none
# for a hidden temporary or a progress file; a bad run told, status 1.
once="$work/once"
mkdir -p "$once/sub"
mkdir -p "$once/.scratch"
cp "$good" "$once/a.vdr"; cp "$good" "$once/sub/b.vdr"; cp "$good" "$once/.a.vdr.tmp.vdr"
cp "$good" "$once/.scratch/c.vdr"
# What is no regular file, and a name that would break the line per run.
mkfifo "$once/fifo.vdr"; mkdir "$once/folder.vdr"; ln -s /dev/zero "$once/device.vdr"
cp "$good" "$once/new
line.vdr"
echo '{"format": "tarn-vdr-progress", "version": 1}' > "$once/c.vdr.progress"
echo '{' > "$once/bad.vdr"
"$host" --watch "$once" --once -j 2 > "$work/out" 2> "$work/err"; status=$?
[ $status -eq 1 ] || fail "--once with a bad run: exit status $status"
printf 'report for %s failed\nwrote %s\nwrote %s\n' "$once/bad" "$once/a.log" "$once/sub/b.log" |
    cmp -s - <(sort "$work/out") || fail "--once: output was: $(cat "$work/out")"
grep -q "^$once/bad.vdr: " "$work/err" || fail "--once: the bad run's error: $(cat "$work/err")"
grep -q "^tarnreport: passed over $once/new?line.vdr: its name holds a control character$" "$work/err" ||
    fail "--once: a name with a line break: $(cat "$work/err")"
[ ! -e "$once/c.log" ] && [ ! -e "$once/.a.vdr.tmp.log" ] && [ ! -e "$once/.scratch/c.log" ] ||
    fail "--once reported a progress file or a temporary"
rm "$once/bad.vdr"
# A report newer than its data stays; one older is written again.
touch -d '2001-01-01' "$once/sub/b.vdr"
touch -d '2001-01-01' "$once/a.log"
"$host" --watch "$once" --once > "$work/out" 2> "$work/err"; status=$?
[ $status -eq 0 ] && [ "$(cat "$work/out")" = "wrote $once/a.log" ] ||
    fail "--once again: status $status, output: $(cat "$work/out")"

for mode in inotify poll; do
    options=""; [ $mode = poll ] && options="--poll"
    dir="$work/$mode"
    mkdir -p "$dir"
    start_watch "$dir" -j 2 $options
    # Renamed into place.
    close_run "$dir/first.vdr"
    expect_line "wrote $dir/first.log" "$mode: renamed run"
    # Written in place: nothing while it is open, its report once closed
    # (told by the system; polling takes a file that stays the same for a
    # look as closed).
    [ $mode = inotify ] && exec 4> "$dir/slow.vdr" && head -c 100 "$good" >&4
    echo "{\"format\": \"tarn-vdr-progress\"}" > "$dir/running.vdr.progress"
    mkdir -p "$dir/.scratch" && close_run "$dir/.scratch/hidden.vdr"
    close_run "$dir/second.vdr"
    expect_line "wrote $dir/second.log" "$mode: a run closed while another is written"
    if [ $mode = inotify ]; then
        tail -c +101 "$good" >&4
        exec 4>&-
        expect_line "wrote $dir/slow.log" "$mode: a run written in place, once closed"
        cmp -s "$dir/slow.log" "$dir/first.log" || fail "$mode: the run written in place was reported half-written"
    fi
    # A bad run: told, and the watch goes on; a new folder with a run in it.
    echo 'not json' > "$dir/bad.vdr.tmp" && mv "$dir/bad.vdr.tmp" "$dir/bad.vdr"
    expect_line "report for $dir/bad failed" "$mode: bad run"
    grep -q "^$dir/bad.vdr: line 1, column [0-9]*: " "$work/err" || fail "$mode: the loader's error: $(cat "$work/err")"
    mkdir -p "$dir/new/deeper"
    cp "$good" "$dir/new/deeper/deep.vdr"
    expect_line "wrote $dir/new/deeper/deep.log" "$mode: a run in a new folder"
    ln "$dir/first.vdr" "$dir/linked.vdr"
    expect_line "wrote $dir/linked.log" "$mode: a linked run"
    ln -s first.vdr "$dir/symlinked.vdr"
    expect_line "wrote $dir/symlinked.log" "$mode: a run linked symbolically"
    [ ! -e "$dir/running.log" ] || fail "$mode: a run in progress was reported"
    [ ! -e "$dir/.scratch/hidden.log" ] || fail "$mode: a run in a hidden folder was reported"
    stop_watch
    [ $stopped -eq 0 ] || fail "$mode: exit status $stopped on SIGTERM"
    grep -q "^tarnreport: stopped by signal 15 (.*) after the 0 reports in hand$" "$work/err" ||
        fail "$mode: the last line: $(cat "$work/err")"
    # The folder removed: the watch ends, and says so.
    dir="$work/$mode-removed"
    mkdir "$dir"
    start_watch "$dir" $options
    close_run "$dir/again.vdr"
    expect_line "wrote $dir/again.log" "$mode: before the folder is removed"
    rm -rf "$dir"
    IFS= read -r -t $limit line <&5; read=$?  # 1: the end of its output
    [ $read -eq 1 ] || { fail "$mode: the folder removed: the watch went on"; kill $watch; }
    wait $watch; ended=$?
    exec 5<&-
    [ $ended -eq 1 ] && grep -q "^tarnreport: $dir went away: the watch ended after the 0 reports in hand$" \
        "$work/err" || fail "$mode: the folder removed: exit status $ended: $(cat "$work/err")"
done

# Twenty runs closed at once, four reports at a time: twenty reports.
many="$work/many"
mkdir "$many"
start_watch "$many" -j 4
for i in $(seq 10 29); do close_run "$many/run$i.vdr"; done
for i in $(seq 10 29); do next_line "twenty runs" && echo "$line"; done | sort > "$work/out"
for i in $(seq 10 29); do echo "wrote $many/run$i.log"; done | cmp -s - "$work/out" ||
    fail "twenty runs with -j 4: $(cat "$work/out")"
stop_watch

# A run closed again while its report is written; SIGTERM while a report
# is written: the watch ends once it is written.
# Its report takes seconds (2.5 s unloaded), so its process is found while
# it writes: at 60 iterations it ended in 0.2 s, before a loaded machine
# had started the look for it.
python3 "$(dirname "$0")/write_large_run.py" "$work/large.vdr" 600
late="$work/late"
mkdir "$late"
start_watch "$late"
close_run "$late/first.vdr"
expect_line "wrote $late/first.log" "before the large run"
# The report process of a run, once it is there: looked for again at each
# change in the run's folder (its run opened, its report written), the
# folder watched before the first look so that no change is missed.
report_process() {
    child=$(python3 - "$(dirname "$0")/.." "$watch" "$1" <<'EOF'
import os, sys, time
sys.path.insert(0, sys.argv[1])
from file_events import FileEvents
watch, log = sys.argv[2], sys.argv[3]
deadline = time.monotonic() + 60
with FileEvents(os.path.dirname(log)) as events:
    while time.monotonic() < deadline:
        try:
            with open("/proc/%s/task/%s/children" % (watch, watch)) as listed:
                children = listed.read().split()
        except OSError:
            children = []
        if children and os.path.exists(log):
            print(children[0])
            break
        events.wait(min(1, deadline - time.monotonic()))
EOF
)
    [ -n "$child" ] || fail "no report process writing $1"
}
# A run closed again while its report is written (held stopped meanwhile):
# its report is written again.
mv "$work/large.vdr" "$late/large.vdr"
report_process "$late/large.log"
kill -STOP $child
cp "$late/large.vdr" "$late/large.vdr.tmp" && mv "$late/large.vdr.tmp" "$late/large.vdr"
kill -CONT $child
expect_line "wrote $late/large.log" "the run closed again while reported"
report_process "$late/large.log"
kill -TERM $watch
expect_line "wrote $late/large.log" "the report in hand when stopped"
wait $watch; stopped=$?
[ $stopped -eq 0 ] || fail "stopped while writing: exit status $stopped"
grep -q "after the 1 report in hand$" "$work/err" || fail "stopped while writing: $(cat "$work/err")"
tail -n 1 "$late/large.log" | grep -q . || fail "the report in hand was not written whole"

finish "watch tests"
