#!/bin/sh
# The installed project as its users meet it: installed into a temporary
# prefix, the program runs from there and has its manual page, and two small
# projects build against the library, one through find_package(TARNReport),
# one through pkg-config, and each writes a report equal to the program's.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -u
build="$1"
source="$2"
. "$(dirname "$0")/../shell_checks.sh"
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" > "$work/install.out" 2>&1 ||
    { cat "$work/install.out"; fail "cmake --install"; exit 1; }
for run in program cmake pkgconfig; do cp "$source/examples/blending.vdr" "$work/$run.vdr"; done

# The program finds the installed libraries by itself.
env -u LD_LIBRARY_PATH "$prefix/bin/tarnreport" "$work/program" > /dev/null ||
    fail "installed tarnreport"
ldd "$prefix/bin/tarnreport" | grep -q "libTARNReport.so.1 => $prefix/" ||
    fail "installed tarnreport loads: $(ldd "$prefix/bin/tarnreport")"
if command -v man > /dev/null; then
    MANPAGER=cat MANWIDTH=80 man -M "$prefix/share/man" tarnreport > "$work/man" 2>&1
    grep -q -- "--long-lists" "$work/man" || fail "man tarnreport: $(head -5 "$work/man")"
fi

# find_package(TARNReport)
cmake -S "$source/tests/install/consumer" -B "$work/cmake-build" \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release > "$work/cmake.out" 2>&1 &&
    cmake --build "$work/cmake-build" >> "$work/cmake.out" 2>&1 ||
    { cat "$work/cmake.out"; fail "the find_package project does not build"; }
"$work/cmake-build/consumer" "$work/cmake" || fail "the find_package project's report"
cmp -s "$work/program.log" "$work/cmake.log" || fail "the find_package project's report differs"

# pkg-config, from a C compiler
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
flags=$(pkg-config --cflags --libs tarnreport) || fail "pkg-config tarnreport"
libdir=$(pkg-config --variable=libdir tarnreport)
cc -Wall -Wextra -Werror "$source/tests/install/consumer.c" $flags -Wl,-rpath,"$libdir" \
   -o "$work/consumer-pc" || fail "the pkg-config project does not build"
"$work/consumer-pc" "$work/pkgconfig" || fail "the pkg-config project's report"
cmp -s "$work/program.log" "$work/pkgconfig.log" || fail "the pkg-config project's report differs"

# The run-data writer: the C example through pkg-config, the Python example
# through the installed module (which finds the installed library itself),
# and the CMake package's target.
flags=$(pkg-config --cflags --libs tarnrundata) || fail "pkg-config tarnrundata"
cc -Wall -Wextra -Werror "$source/writer/examples/write_run.c" $flags \
   -Wl,-rpath,"$(pkg-config --variable=libdir tarnrundata)" -o "$work/write_run_c" ||
    fail "the C example does not build with pkg-config tarnrundata"
"$work/write_run_c" "$work/from_c.vdr" || fail "the installed C example"
python_dir=$(sed -n 's/^TARN_PYTHON_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
env -u LD_LIBRARY_PATH PYTHONPATH="$prefix/$python_dir" python3 \
    "$source/writer/examples/write_run.py" "$work/from_python.vdr" ||
    fail "the Python example with the installed module in $prefix/$python_dir"
# (Each is dated when it is opened: the dates may differ by a second.)
undated() { sed 's/"date":"[^"]*"/"date":""/' "$1"; }
undated "$work/from_c.vdr" >"$work/from_c.undated"
undated "$work/from_python.vdr" >"$work/from_python.undated"
grep -q '"date":"[A-Z][a-z][a-z] ' "$work/from_c.vdr" || fail "the installed C example's run has no date of opening"
cmp -s "$work/from_c.undated" "$work/from_python.undated" || fail "the installed writers write different files"
grep -q "TARNReport::tarnrundata" "$prefix"/lib/cmake/TARNReport/TARNReportTargets.cmake ||
    fail "the CMake package has no TARNReport::tarnrundata"

finish "install tests"
