#!/bin/sh
# A build for running reports (make run: BUILD_TESTING=OFF) configures
# without the test packages: neither GoogleTest nor Python is looked for.
#   run_configure_test.sh SOURCE_DIR
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$1" -B "$work/build" -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
      -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON > "$work/out" 2>&1 ||
    { cat "$work/out"; echo "FAIL: a build without tests needs a test package"; exit 1; }
