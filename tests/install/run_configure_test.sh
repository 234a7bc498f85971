#!/bin/sh
# A build without tests (BUILD_TESTING=OFF, TARN_VIEWER=AUTO) configures
# without a test package (GoogleTest, Python) and without the viewer's
# (pkg-config, cpp-httplib, chart.js): the viewer is then left out with one
# line that names what was not found; asked for (TARN_VIEWER=ON, as make
# run does), it fails.
#   run_configure_test.sh SOURCE_DIR
set -u
source="$1"
. "$(dirname "$0")/../shell_checks.sh"

# configure NAME [CMAKE_ARGUMENTS]: a tree of its own without tests; what
# CMake said in $work/NAME.out.
configure() {
    name="$1"; shift
    timeout -k 10 100 cmake -S "$source" -B "$work/$name" -DBUILD_TESTING=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON \
        "$@" > "$work/$name.out" 2>&1
}
# The line about the viewer, and that it is the only one.
viewer_note() {
    grep '^-- tarnview' "$work/$1.out"
    [ "$(grep -c 'tarnview' "$work/$1.out")" -eq 1 ]
}
absent_chart="-DTARNVIEW_CHART_JS=$work/absent/chart.min.js"
note="-- tarnview, the report viewer, is left out: not found:"

# Only what a run installs: no pkg-config, so no cpp-httplib, and no chart.js.
if configure run -DTARN_VIEWER=AUTO -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON "$absent_chart"; then
    [ "$(viewer_note run)" = "$note pkg-config, cpp-httplib (libcpp-httplib-dev), $work/absent/chart.min.js (libjs-chart.js)" ] ||
        fail "run build: the note on the viewer: $(grep tarnview "$work/run.out")"
else
    cat "$work/run.out"
    fail "a build without tests needs a package that a run does not install"
fi

# pkg-config there, cpp-httplib not (no module of pkg-config to be found).
mkdir "$work/no-modules"
if (export PKG_CONFIG_LIBDIR="$work/no-modules" PKG_CONFIG_PATH=""; configure no_httplib -DTARN_VIEWER=AUTO); then
    [ "$(viewer_note no_httplib)" = "$note cpp-httplib (libcpp-httplib-dev)" ] ||
        fail "without cpp-httplib: the note on the viewer: $(grep tarnview "$work/no_httplib.out")"
else
    cat "$work/no_httplib.out"
    fail "without cpp-httplib the viewer is not left out"
fi

# The viewer asked for without its packages: an error that names them.
configure asked -DTARN_VIEWER=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON "$absent_chart" &&
    fail "TARN_VIEWER=ON configured without the viewer's packages"
tr -s ' \n' ' ' < "$work/asked.out" |
    grep -q "tarnview (TARN_VIEWER=ON) needs what was not found: pkg-config, cpp-httplib" ||
    fail "TARN_VIEWER=ON without the viewer's packages: $(cat "$work/asked.out")"

finish "run configure tests"
