#!/bin/sh
# The C, C++, Python and (when built) Fortran examples write the same run,
# each through its own interface: the reports must be one, byte for byte,
# but for the date, which is each writer's time of opening (the Fortran
# example gives none).
#   examples_agree.sh TARNREPORT WRITE_RUN_C WRITE_RUN_CPP PYTHON WRITE_RUN_PY [WRITE_RUN_FORTRAN]
set -u
tarnreport="$1"
. "$(dirname "$0")/../shell_checks.sh"
"$2" "$work/c.vdr" || fail "the C example"
"$3" "$work/cpp.vdr" || fail "the C++ example"
"$4" "$5" "$work/py.vdr" || fail "the Python example"
runs="c cpp py"
if [ -n "${6:-}" ]; then
    "$6" "$work/f.vdr" || fail "the Fortran example"
    runs="$runs f"
fi
for run in $runs; do
    "$tarnreport" "$work/$run" > /dev/null || fail "the report of the $run example"
    grep -v "Execution Date" "$work/$run.log" > "$work/$run.undated"
done
grep -Eq "Execution Date  : [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} [0-9]{4}$" "$work/c.log" ||
    fail "the C example's report has no date of opening: $(grep "Execution Date" "$work/c.log")"
cmp "$work/c.undated" "$work/cpp.undated" || fail "the C and C++ examples' reports differ"
cmp "$work/c.undated" "$work/py.undated" || fail "the C and Python examples' reports differ"
[ -z "${6:-}" ] || cmp "$work/c.undated" "$work/f.undated" || fail "the C and Fortran examples' reports differ"
grep -q "Solution Status : Successful" "$work/c.log" || fail "the C example's report: $(head -12 "$work/c.log")"
finish "writer examples"
