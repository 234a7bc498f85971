#!/usr/bin/env bash
# Runs reference cases through the Windows build's TARNReport.dll under Wine.
#
#   scripts/conformance-windows.sh CASES_DIR [NORMALIZE_PY] [WINDOWS_BUILD]
#
# CASES_DIR holds one directory per case: run.vdr (and any other input
# files), optionally env.json ({"KORMOPTIONS": ...}) and expected.json
# ({"rc": N, "stdout": TEXT, "log": TEXT or null}).  Each case is copied to a
# temporary directory without those two files, and report_host.exe (a small
# Windows program of the build) loads TARNReport.dll with LoadLibraryExA and
# calls CreateUQExecutionReport("run") there, KORMOPTIONS set from env.json
# or unset.  The Windows program writes standard output and the report in
# text mode; CR LF is folded to LF in both before the comparison.  The report
# is masked by the normalize() function of NORMALIZE_PY (default:
# CASES_DIR/../normalize.py) and compared byte for byte, together with the
# result and standard output.  One line per failing case, then
# "N passed, M failed".  WINDOWS_BUILD defaults to build-windows/ of the
# project (build-windows64/ runs the 64-bit DLL); it must be built with its
# tests (report_host.exe, wine/run).
# CONFORMANCE_UPTO=TEXT compares each report only up to the line break
# before the first TEXT.
# Exit: 0 all passed, 1 some failed, 2 setup problem.
set -u

PROJECT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -lt 1 ] || [ $# -gt 3 ]; then
    echo "usage: conformance-windows.sh CASES_DIR [NORMALIZE_PY] [WINDOWS_BUILD]" >&2
    exit 2
fi
CASES_DIR="$(cd "$1" 2>/dev/null && pwd)" || { echo "conformance-windows.sh: no directory $1" >&2; exit 2; }
NORMALIZE="${2:-$CASES_DIR/../normalize.py}"
BUILD="${3:-$PROJECT/build-windows}"
if [ ! -f "$NORMALIZE" ]; then
    echo "conformance-windows.sh: $NORMALIZE not found (give NORMALIZE_PY)" >&2
    exit 2
fi
NORMALIZE="$(cd "$(dirname "$NORMALIZE")" && pwd)/$(basename "$NORMALIZE")"
BUILD="$(cd "$BUILD" 2>/dev/null && pwd)" || { echo "conformance-windows.sh: no build tree $3" >&2; exit 2; }
for needed in bin/TARNReport.dll bin/report_host.exe wine/run; do
    if [ ! -e "$BUILD/$needed" ]; then
        echo "conformance-windows.sh: $BUILD/$needed is missing (make build-windows)" >&2
        exit 2
    fi
done

WORK="$(mktemp -d "${TMPDIR:-/tmp}/tarn-conformance-windows.XXXXXX")"
"$BUILD/wine/run" --prefix start || { echo "conformance-windows.sh: Wine does not start" >&2; exit 2; }
trap '"$BUILD/wine/run" --prefix stop; rm -rf "$WORK"' EXIT

python3 - "$NORMALIZE" "$BUILD" "$CASES_DIR" "$WORK" <<'PY'
import importlib.util, json, os, shutil, subprocess, sys, tempfile
normalize_py, build, cases_dir, work = sys.argv[1:5]
spec = importlib.util.spec_from_file_location("normalize", normalize_py)
module = importlib.util.module_from_spec(spec)
spec.loader.exec_module(module)
normalize = module.normalize

MARK = b"@@result@@ "
TIMEOUT = 120
wine = os.path.join(build, "wine", "run")
host = os.path.join(build, "bin", "report_host.exe")
# Wine's drive Z: is the root of the Unix file system.
dll = "Z:" + os.path.join(build, "bin", "TARNReport.dll").replace("/", "\\")


def fold(data):
    return None if data is None else data.replace(b"\r\n", b"\n")


def show(line):
    if line is None:
        return "<end>"
    t = repr(line)[2:-1]
    return "'" + (t if len(t) <= 150 else t[:150] + "...") + "'"


def first_diff(what, exp, act):
    e, a = exp.split(b"\n"), act.split(b"\n")
    for i in range(max(len(e), len(a))):
        x = e[i] if i < len(e) else None
        y = a[i] if i < len(a) else None
        if x != y:
            return "%s line %d: expected %s, got %s" % (what, i + 1, show(x), show(y))
    return "%s differs" % what


def run_case(d):
    with open(os.path.join(d, "expected.json")) as f:
        exp = json.load(f)
    enc = lambda s: None if s is None else s.encode("utf-8", "surrogateescape")
    exp_rc, exp_out, exp_log = exp["rc"], enc(exp["stdout"]), enc(exp["log"])
    korm = None
    if os.path.exists(os.path.join(d, "env.json")):
        with open(os.path.join(d, "env.json")) as f:
            korm = json.load(f).get("KORMOPTIONS")
    tmp = tempfile.mkdtemp(dir=work)
    for entry in os.listdir(d):
        if entry in ("expected.json", "env.json"):
            continue
        src = os.path.join(d, entry)
        if os.path.isdir(src):
            shutil.copytree(src, os.path.join(tmp, entry))
        else:
            shutil.copy2(src, os.path.join(tmp, entry))
    env = dict(os.environ)
    env.pop("KORMOPTIONS", None)
    if korm is not None:
        env["KORMOPTIONS"] = korm
    try:
        p = subprocess.run([wine, host, dll, "run"], cwd=tmp, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "no result within %d s" % TIMEOUT
    out = fold(p.stdout)
    i = out.rfind(MARK)
    if p.returncode != 0 or i < 0:
        err = p.stderr.decode("utf-8", "replace").strip().splitlines()
        return "host did not return from the call (exit status %d)%s" % (
            p.returncode, (": " + err[0][:150]) if err else "")
    lib_out = out[:i]
    try:
        rc = int(out[i + len(MARK):].strip())
    except ValueError:
        return "unreadable host result line"
    log_path = os.path.join(tmp, "run.log")
    act_log = None
    if os.path.isfile(log_path):
        with open(log_path, "rb") as f:
            act_log = normalize(fold(f.read()))
    upto = os.environ.get("CONFORMANCE_UPTO")
    if upto:
        mark = b"\n" + upto.encode()
        cut = lambda t: t if t is None or t.find(mark) < 0 else t[:t.find(mark)]
        exp_log, act_log = cut(exp_log), cut(act_log)
    shutil.rmtree(tmp, ignore_errors=True)
    if rc != exp_rc:
        return "result expected %d, got %d" % (exp_rc, rc)
    if lib_out != exp_out:
        return first_diff("stdout", exp_out, lib_out)
    if exp_log is None and act_log is not None:
        return "no report file expected, but run.log was written"
    if exp_log is not None and act_log is None:
        return "report file run.log expected, none written"
    if exp_log is not None and act_log != exp_log:
        return first_diff("log", exp_log, act_log)
    return None


cases = sorted(e for e in os.listdir(cases_dir)
               if os.path.isfile(os.path.join(cases_dir, e, "expected.json")))
passed = failed = 0
for name in cases:
    try:
        problem = run_case(os.path.join(cases_dir, name))
    except Exception as ex:  # a broken case directory is a failure, not a crash
        problem = "checker error: %s" % ex
    if problem is None:
        passed += 1
    else:
        failed += 1
        print("FAIL %s: %s" % (name, problem))
        sys.stdout.flush()
print("%d passed, %d failed" % (passed, failed))
sys.exit(0 if failed == 0 and passed > 0 else 1)
PY
