#!/bin/sh
# Starts or stops the wine server of a prefix.
#
#   wine-prefix.sh start   creates the prefix when it does not exist yet
#                          (of WINEARCH, win32 by default; wineboot -i) and
#                          leaves one persistent wine server running for it
#   wine-prefix.sh stop    stops that server and every Wine process of the
#                          prefix
#
# WINEPREFIX (and WINEARCH, WINEDEBUG) come from the environment; the build
# tree's wine/run wrapper sets them: `wine/run --prefix start`.
set -eu
: "${WINEPREFIX:?WINEPREFIX is not set}"
export WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${WINEDEBUG:--all}"

case "${1:-}" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ] ||
       ! grep -qx "#arch=$WINEARCH" "$WINEPREFIX/system.reg"; then
        # A half-made prefix from an interrupted run, or one of the other
        # architecture, is made again.
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        # Wine's own processes outlive the command; their output goes to a
        # file so that no caller waits on it.
        wineboot -i >"$WINEPREFIX.log" 2>&1 </dev/null
        wineserver -w
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "wine-prefix.sh: wineboot did not create $WINEPREFIX" >&2
            exit 1
        fi
    fi
    wineserver -p >/dev/null 2>&1 </dev/null
    # The first program of a session starts Wine's services, which stay for
    # the session: started here, they hold no test's output open.
    wine cmd.exe /c exit 0 >/dev/null 2>&1 </dev/null
    ;;
stop)
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    ;;
*)
    echo "usage: wine-prefix.sh start|stop" >&2
    exit 2
    ;;
esac
