#!/bin/sh
# The Debian package of `make package`: its files, its dependencies, its
# program run from the unpacked files, and lintian without an error.
# Skipped (status 77) when there is no package yet.
#   package_test.sh PACKAGE_BUILD_DIR SOURCE_DIR
set -u
package=$(ls -t "$1"/tarnreport_*.deb 2> /dev/null | head -n 1)
source="$2"
if [ -z "$package" ]; then
    echo "no package in $1: run make package first"
    exit 77
fi
. "$(dirname "$0")/../shell_checks.sh"
echo "checking $package"

dpkg-deb -c "$package" | awk '{ print $6 }' | sed 's|^\./||; s|/$||' > "$work/files"
has() { grep -qx "$1" "$work/files" || fail "not in the package: $1"; }
libdir=$(grep -m 1 '/libTARNReport\.so$' "$work/files" | sed 's|/[^/]*$||')
[ -n "$libdir" ] || fail "no libTARNReport.so"
for library in TARNReport tarn veldxmps tarnrundata; do
    for name in "lib$library.so" "lib$library.so.1" "lib$library.so.1.0.0"; do has "$libdir/$name"; done
done
has "$libdir/pkgconfig/tarnreport.pc"
has "$libdir/pkgconfig/tarnrundata.pc"
has usr/lib/python3/dist-packages/tarn_rundata.py
has "$libdir/cmake/TARNReport/TARNReportConfig.cmake"
has usr/share/doc/tarnreport/copyright
has usr/share/doc/tarnreport/changelog.gz
has usr/bin/tarnreport
has usr/bin/tarnview
for program in $(sed -n 's|^usr/bin/\(.\)|\1|p' "$work/files"); do
    has "usr/share/man/man1/$program.1.gz"
done
(cd "$source/include" && find . -type f | sed 's|^\./|usr/include/TARNReport/|') |
    while read -r header; do has "$header"; done
outside=$(grep -v '^usr\(/\|$\)' "$work/files" | grep -v '^\.\?$')
[ -z "$outside" ] || fail "files outside /usr: $outside"

depends=$(dpkg-deb -f "$package" Depends)
for dependency in libc6 libstdc++6; do
    echo "$depends" | grep -q "$dependency (>=" || fail "Depends lacks $dependency: $depends"
done

dpkg-deb -x "$package" "$work/root"
cp "$source/examples/blending.vdr" "$work/run.vdr"
LD_LIBRARY_PATH="$work/root/$libdir" "$work/root/usr/bin/tarnreport" "$work/run.vdr" > /dev/null &&
    [ -s "$work/run.log" ] || fail "the packaged tarnreport does not write a report"

# The Python module finds the packaged library from its own place.
cp "$source/writer/examples/write_run.py" "$work/write_run.py"
PYTHONPATH="$work/root/usr/lib/python3/dist-packages" python3 "$work/write_run.py" "$work/py.vdr" &&
    [ -s "$work/py.vdr" ] || fail "the packaged Python module does not write a run"

lintian "$package" > "$work/lintian" 2>&1
cat "$work/lintian"
! grep -q '^E: ' "$work/lintian" || fail "lintian reports errors"

finish "package tests"
