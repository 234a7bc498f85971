#!/bin/sh
# The screenshots of the terminal in docs/: `tarnview show` (through its
# pager) and `tarnview view` (its outline beside the report, an iteration
# unfolded) each run in a tmux pane (a real terminal), the pane is captured
# with its colours, and Chromium renders the capture on a dark and on a
# light background side by side.
#   scripts/terminal-screenshot.sh [BUILD_DIR]   (default build)
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
for tool in tmux chromium; do
    command -v "$tool" > /dev/null || { echo "$tool is missing: scripts/install-deps.sh --screenshots" >&2; exit 1; }
done
work=$(mktemp -d)
socket="tarnview-shot-$$"
trap 'tmux -L "$socket" kill-server 2> /dev/null || true; rm -rf "$work"' EXIT

cp examples/blending.vdr "$work/blending.vdr"
"$build/bin/tarnreport" "$work/blending" > /dev/null
# shoot OUT COMMAND [KEYS...]: COMMAND in a pane of 124x50, KEYS sent to it
# one at a time (a key "-l TEXT" types TEXT), the pane rendered into OUT.
shoot() {
    out="$1"; command="$2"; shift 2
    tmux -L "$socket" -f /dev/null new-session -d -x 124 -y 50 \
        -e COLORTERM=truecolor -e TERM=xterm-256color -e PAGER="less -R" -e LANG=C.UTF-8 \
        "$command; sleep 60"
    sleep 2
    for key in "$@"; do
        case "$key" in
            "-l "*) tmux -L "$socket" send-keys -t 0 -l "${key#-l }" ;;
            *) tmux -L "$socket" send-keys -t 0 "$key" ;;
        esac
        sleep 0.3
    done
    tmux -L "$socket" capture-pane -p -e -t 0 > "$work/pane.ansi"
    tmux -L "$socket" kill-server 2> /dev/null || true
    render "$out"
}

render() {
python3 - "$work/pane.ansi" "$work/pane.html" <<'PY'
# The captured pane as HTML: the SGR sequences the view writes (bold, dim,
# 24-bit and 256-colour foregrounds, resets) become spans.
import html, re, sys

def colour256(n):
    if n < 16:
        return None
    if n >= 232:
        level = 8 + 10 * (n - 232)
        return (level, level, level)
    n -= 16
    levels = [0, 95, 135, 175, 215, 255]
    return (levels[n // 36], levels[n // 6 % 6], levels[n % 6])

# tmux writes an attribute where it changes, so it carries over lines.
state = {"fg": None, "bold": False, "dim": False, "reverse": False}

def spans(line):
    global state
    out, pos = [], 0
    for match in re.finditer(r"\x1b\[([0-9;]*)m", line):
        out.append((dict(state), line[pos:match.start()]))
        codes = [int(c) for c in match.group(1).split(";") if c] or [0]
        i = 0
        while i < len(codes):
            code = codes[i]
            if code == 0:
                state = {"fg": None, "bold": False, "dim": False, "reverse": False}
            elif code == 7:
                state["reverse"] = True
            elif code == 27:
                state["reverse"] = False
            elif code == 1:
                state["bold"] = True
            elif code == 2:
                state["dim"] = True
            elif code == 22:
                state["bold"] = state["dim"] = False
            elif code == 39:
                state["fg"] = None
            elif code == 38 and codes[i + 1:i + 2] == [2]:
                state["fg"] = tuple(codes[i + 2:i + 5])
                i += 4
            elif code == 38 and codes[i + 1:i + 2] == [5]:
                state["fg"] = colour256(codes[i + 2])
                i += 2
            i += 1
        pos = match.end()
    out.append((dict(state), line[pos:]))
    return out

lines = open(sys.argv[1], encoding="utf-8").read().rstrip("\n").split("\n")
body = []
for line in lines:
    parts = []
    for state, text in spans(line):
        if not text:
            continue
        style = []
        if state["fg"]:
            style.append("color:rgb(%d,%d,%d)" % state["fg"])
        if state["bold"]:
            style.append("font-weight:bold")
        if state["dim"]:
            style.append("opacity:0.6")
        if state["reverse"]:
            style.append("background:#7f7f7f80")
        parts.append('<span style="%s">%s</span>' % (";".join(style), html.escape(text)))
    body.append("".join(parts))
pre = "\n".join(body)
page = """<!DOCTYPE html><meta charset="utf-8"><style>
body { margin: 0; display: flex; }
pre { margin: 0; padding: 12px; font: 12px/1.25 'DejaVu Sans Mono', monospace; width: 984px; }
.dark { background: #1d1f21; color: #d0d0d0; } .light { background: #ffffff; color: #202020; }
</style><pre class="dark">%s</pre><pre class="light">%s</pre>""" % (pre, pre)
open(sys.argv[2], "w", encoding="utf-8").write(page)
PY

chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=2016,776 \
    --screenshot="$work/shot.png" "file://$work/pane.html" > /dev/null 2>&1
cp "$work/shot.png" "$1"
echo "wrote $1"
}

shoot docs/tarnview-show.png "$build/bin/tarnview show $work/blending.log --depth 3"
shoot docs/tarnview-view.png "$build/bin/tarnview view $work/blending.log" \
    i "-l 2" Enter Enter / "-l QSUL_POOL" Enter n

# A run followed while the optimiser stand-in writes it: six iterations
# written, the stand-in waiting for the next (an end of its input then
# abandons the run).
mkfifo "$work/standin.in"
python3 tests/viewer/progress_standin.py "$work/followed" --build "$build" < "$work/standin.in" > "$work/standin.out" &
standin=$!
exec 3> "$work/standin.in"
for k in 0 1 2 3 4 5; do echo next >&3; done
for wait in $(seq 100); do grep -q "iteration 5" "$work/standin.out" && break; sleep 0.1; done
shoot docs/tarnview-follow.png "$build/bin/tarnview view $work/followed" k k
exec 3>&-
wait "$standin"
