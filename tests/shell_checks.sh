# Sourced by the shell tests: a scratch directory $work removed at exit,
# fail() counting a failed check, finish() ending with the verdict.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
    [ $failures -eq 0 ] && echo "$1 passed"
    exit $failures
}
