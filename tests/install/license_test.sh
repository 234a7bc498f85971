#!/bin/sh
# LICENSE says what the report's notice line says: the same copyright, and
# no warranty.
#   license_test.sh LICENSE REPORT
notice=$(head -n 1 "$2")
copyright=$(printf '%s\n' "$notice" | sed -n 's/.*\(Copyright (c) [^.]*\)\..*/\1/p')
[ -n "$copyright" ] || { echo "no copyright in the notice: $notice"; exit 1; }
grep -qF "$copyright" "$1" || { echo "LICENSE lacks \"$copyright\""; exit 1; }
if printf '%s\n' "$notice" | grep -qi "without warranty of any kind"; then
    grep -qi "without warranty of any kind" "$1" || { echo "LICENSE gives a warranty"; exit 1; }
fi
