#!/bin/sh
# The tarnview program: usage and exit status, errors that name the file,
# and what show, summary and history write for a report.
#   tarnview_test.sh TARNVIEW GOLDEN_DIR
set -u
view="$1"
golden="$2"
report="$golden/blending.log"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
esc=$(printf '\033')

# Usage: every command has its help; usage errors are status 2.
"$view" --help | grep -q "history" || fail "--help lists the commands"
for command in show summary history; do
    "$view" $command --help | grep -q "usage: tarnview $command" || fail "$command --help"
done
"$view" > /dev/null 2>&1; [ $? -eq 2 ] || fail "no command: exit status 2"
"$view" bogus > /dev/null 2>&1; [ $? -eq 2 ] || fail "unknown command: exit status 2"
"$view" show "$report" --depth x > /dev/null 2>&1; [ $? -eq 2 ] || fail "--depth x: exit status 2"

# A usage error: status 2, nothing on standard output, and on standard error
# one line that names the problem, then the command's usage line.
usage_error() {
    expected="$1"; shift
    "$view" "$@" > "$work/out" 2> "$work/err"; status=$?
    [ $status -eq 2 ] || fail "$*: exit status $status"
    [ ! -s "$work/out" ] || fail "$*: standard output not empty"
    { echo "tarnview $1: $expected"; "$view" "$1" --help | head -n 1; } |
        cmp -s - "$work/err" || fail "$*: standard error was: $(cat "$work/err")"
}
for command in show summary history html serve; do
    usage_error "no report given" $command
    usage_error "unknown option '--bogus'" $command "$report" --bogus
    usage_error "unknown option '-x'" $command -x "$report"
done
usage_error "unexpected argument 'b.log'" show "$report" b.log
usage_error "unexpected argument 'x'" history "$report" NAME x
usage_error "no name given" history "$report"
usage_error "option '--depth' needs a number" show "$report" --depth
usage_error "--depth takes a number from 0 to 1000, not '-1'" show "$report" --depth -1
usage_error "--color takes auto, always or never, not 'blue'" show "$report" --colour blue
usage_error "option '-o' needs a file name" html "$report" -o
usage_error "--port takes a number from 0 to 65535, not '65536'" serve "$report" --port 65536
usage_error "--csv excludes --json" summary "$report" --json --csv
"$view" bogus 2>&1 >/dev/null | head -n 1 | grep -qx "tarnview: unknown command 'bogus'" || fail "unknown command named"
"$view" 2>&1 >/dev/null | head -n 1 | grep -qx "tarnview: no command given" || fail "no command named"
# An option given twice keeps its last value; options may stand anywhere.
[ "$("$view" show --depth 5 "$report" --plain --depth 0 | grep -c 'lines)$')" -eq 2 ] || fail "the last --depth holds"

# Whatever stops a command is told once, in one line "tarnview COMMAND:
# PROBLEM" on standard error, with the exit status of its kind.
told_once() {
    expected_status="$1"; expected="$2"; shift 2
    "$view" "$@" > /dev/full 2> "$work/err"; status=$?
    [ $status -eq "$expected_status" ] || fail "$*: exit status $status"
    echo "tarnview $1: $expected" | cmp -s - "$work/err" || fail "$*: standard error was: $(cat "$work/err")"
}
cp "$report" "$work/copy.log"
told_once 1 "cannot write the output: No space left on device" show "$report" --plain
told_once 1 "cannot write the output: No space left on device" summary "$report"
told_once 1 "cannot write the output: No space left on device" summary --facts "$report"
told_once 1 "cannot write the output: No space left on device" history "$report" QSUL_POOL
told_once 1 "cannot write the output: No space left on device" diff "$report" 0
told_once 1 "$report: no iteration 99 in the report" diff "$report" 99
told_once 2 "K must be a number from -1 or 'initial', not 'x'" diff "$report" x
told_once 1 "$work/copy.log: the page would overwrite the report" html "$work/copy.log" -o "$work/copy.log"
told_once 1 "/dev/full: the page could not be written in full" html "$report" -o /dev/full
told_once 1 "$work/none/page.html: cannot be written: No such file or directory" html "$report" -o "$work/none/page.html"
# A file name is told as given, its control characters made visible.
told_once 1 "$work/^[[31m.log: cannot open: No such file or directory" show "$work/$esc[31m.log"

# A report that cannot be read: status 1 and the file named.
for command in show summary; do
    "$view" $command "$work/missing.log" > /dev/null 2> "$work/err"
    [ $? -eq 1 ] || fail "$command of a missing file: exit status"
    grep -q "$work/missing.log: cannot open: No such file" "$work/err" || fail "$command: message $(cat "$work/err")"
done
"$view" history "$report" NO_SUCH_NAME > /dev/null 2> "$work/err"
[ $? -eq 1 ] || fail "history of an unknown name: exit status"


grep -q "blending.log: no variable or equation named 'NO_SUCH_NAME'" "$work/err" || fail "history: $(cat "$work/err")"

# summary and history as data.
[ "$("$view" summary "$report" --csv | wc -l)" -eq 6 ] || fail "summary --csv: a heading and five rows"
"$view" summary "$report" --csv | grep -q '^3,0.0625,0.02025,0.00128,-4106.25,0.117,,$' || fail "summary: short row"
"$view" summary "$report" --json | grep -q '"rows":\[\[-1,0,0,0,-3900,0,"POOL_QUAL",3.3\]' || fail "summary --json"
"$view" history "$report" QSUL_POOL --csv > "$work/history"
grep -q '^variable,-1,98,1.7,S,2.2,2.7,S,0.5,0,Optim,Cont$' "$work/history" || fail "history: first row"
[ "$(grep -c '^variable,' "$work/history")" -eq 5 ] || fail "history: a row per iteration block"

# One iteration picked; several reports in one table; a report without
# summary rows; the closest names of an unknown one.
[ "$("$view" history "$report" QSUL_POOL --csv --iteration 2 | grep -c '^variable,2,')" -eq 1 ] ||
    fail "history --iteration 2"
"$view" history "$report" QSUL_POOL --json --iteration initial | grep -q '"rows":\[{"iteration":-1,"line":98,' ||
    fail "history --json --iteration initial: $("$view" history "$report" QSUL_POOL --json --iteration initial)"
[ "$("$view" summary "$report" --csv --iteration initial)" = "$("$view" summary "$report" --csv | head -2)" ] ||
    fail "summary --iteration initial"
sed -n '1,/Iteration Summary/p' "$report" > "$work/stopped.log"
"$view" summary "$work/stopped.log" --csv > "$work/out" 2> "$work/err" || fail "summary without rows: exit status"
[ "$(cat "$work/out")" = "$("$view" summary "$report" --csv | head -1)" ] || fail "summary without rows: $(cat "$work/out")"
grep -q "stopped.log: the report has no iteration summary rows" "$work/err" || fail "summary without rows: the note"
"$view" summary "$work/stopped.log" "$report" --csv > "$work/out" || fail "summary of two reports: exit status"
head -1 "$work/out" | grep -q '^Report,Major Iteration,' || fail "summary of two reports: the Report column"
[ "$(grep -c "^$report,[-0-9]" "$work/out")" -eq 5 ] || fail "summary of two reports: $(cat "$work/out")"
"$view" history "$report" qsul_pool 2> "$work/err"; [ $? -eq 1 ] || fail "history of a miscased name: exit status"
grep -q "did you mean QSUL_POOL" "$work/err" || fail "history: no suggestion: $(cat "$work/err")"
usage_error "--iteration takes a number from -1 or 'initial', not 'x'" summary "$report" --iteration x

# CSV quotes a name with a comma or a quote.
{
    echo '?000128000}#region 4, Iteration Summary'
    printf ' %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g  %10.3g   %s       %12.5g\n' -1 0 0 0 -3900 0 'A,"B"' 3.3
    echo '#endregion'
} > "$work/comma.log"
"$view" summary "$work/comma.log" --csv | grep -q '^-1,0,0,0,-3900,0,"A,""B""",3.3$' || fail "summary --csv quoting"

# show: no markup left; colours as the terminal allows; folding; regions.
"$view" show "$report" --plain > "$work/plain"
grep -q '?000\|#region\|#endregion' "$work/plain" && fail "--plain keeps markup"
grep -q "$esc" "$work/plain" && fail "--plain writes escapes"
grep -q '^ Model Name      : POOLING$' "$work/plain" || fail "--plain drops the prefix"
NO_COLOR=1 "$view" show "$report" --color always | grep -q "$esc" && fail "NO_COLOR"
COLORTERM=truecolor "$view" show "$report" --color always | grep -q "${esc}\[38;2;" || fail "24-bit colours"
COLORTERM= "$view" show "$report" --color always | grep -q "${esc}\[38;5;" || fail "256 colours"
"$view" show "$report" --depth 0 --plain > "$work/folded"
[ "$(grep -c 'lines)$' "$work/folded")" -eq 2 ] || fail "--depth 0 folds the two top regions: $(cat "$work/folded")"
"$view" show "$report" --region "Major Iteration 3" --depth 1 --plain > "$work/region"
head -1 "$work/region" | grep -q "Major Iteration 3 =" || fail "--region: first line"
[ "$("$view" show "$report" --region-containing Iteration --plain | grep -c '^Iteration Summary$')" -eq 1 ] ||
    fail "--region: a region inside a shown one is not shown again"
grep -q '^Variable Details (17 lines)$' "$work/region" || fail "--region --depth 1: $(cat "$work/region")"
grep -q 'Major Iteration 2' "$work/region" && fail "--region shows other blocks"
"$view" show "$report" --region "Major Iteration" --plain > /dev/null 2>&1 && fail "--region matches part of a title"
"$view" show "$report" --iteration 2 --region "Variable Details" --plain > "$work/region"
[ "$(grep -c '^Variable Name ---' "$work/region")" -eq 1 ] || fail "--iteration 2 --region: $(head -3 "$work/region")"
grep -q '^QSUL_POOL  *1.9375 S ' "$work/region" || fail "--iteration 2 --region: not the block's table"

# Text from the file never reaches the terminal as control characters.
printf '?255000000}name\033]0;title\007end\n#region 1, Open\n' > "$work/hostile.log"
"$view" show "$work/hostile.log" --color always > "$work/shown" 2>&1
grep -q "name^\[\]0;title^Gend" "$work/shown" || fail "control characters shown as ^X: $(cat -v "$work/shown")"
grep -q "ended early" "$work/shown" || fail "ended early note"

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
