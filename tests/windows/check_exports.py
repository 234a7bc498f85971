#!/usr/bin/env python3
"""Checks the export and import tables of the Windows build.

    check_exports.py OBJDUMP BIN_DIR PE_FORMAT

- Every program and DLL of BIN_DIR has the PE format PE_FORMAT (objdump's
  name: pei-i386 or pei-x86-64): a process loads DLLs of its own
  architecture only.
- TARNReport.dll exports CreateUQExecutionReport under its plain name (C
  linkage, __cdecl: no leading underscore, no @N suffix), the exported members
  of the iteration-data and exception classes, and nothing else.
- The virtual tables and type information of those classes are exported by
  the library that owns them, so the report's copies can refer to them.
- Every DLL that a program or library of BIN_DIR imports is in BIN_DIR or is
  part of Windows.
One line per problem; exit 0 when there is none.
"""
import os
import re
import subprocess
import sys

REPORT_MEMBERS = [
    # Copy construction and assignment (the complete-object constructor is
    # the one callers use).
    "_ZN13IterationDataC1ERKS_", "_ZN13IterationDataaSERKS_",
    "_ZN18CTARNIterationDataC1ERKS_", "_ZN18CTARNIterationDataaSERKS_",
    "_ZN14VELD_ExceptionC1ERKS_", "_ZN14VELD_ExceptionaSERKS_",
    "_ZN22VELD_ExcpBadAllocationC1ERKS_", "_ZN22VELD_ExcpBadAllocationaSERKS_",
    "_ZN18VELD_ExcpFileErrorC1ERKS_", "_ZN18VELD_ExcpFileErroraSERKS_",
    # The five default operations of IterationData.
    "_ZN13IterationData16GetVarStructDataEiPdS0_S0_",
    "_ZN13IterationData16GetEqnStructDataEiPdS0_S0_",
    "_ZN13IterationData16GetErrorMessagesEPiPPPc",
    "_ZN13IterationData18GetWarningMessagesEPiPPPc",
    "_ZN13IterationData15GetInfoMessagesEPiPPPc",
]
REPORT_CLASSES = ("13IterationData", "18CTARNIterationData", "14VELD_Exception",
                  "22VELD_ExcpBadAllocation", "18VELD_ExcpFileError")
OWNED_TABLES = {
    "tarn.dll": ["13IterationData", "18CTARNIterationData"],
    "veldxmps.dll": ["14VELD_Exception", "22VELD_ExcpBadAllocation", "18VELD_ExcpFileError"],
}
WINDOWS_DLLS = re.compile(r"^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt|"
                          r"ntdll|ws2_32|ucrtbase|api-ms-win-.*)\.dll$", re.I)


def dump(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, stdout=subprocess.PIPE,
                          universal_newlines=True).stdout


def exports(text):
    """The names of the export name table."""
    m = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\s*\n|\Z)", text, re.S)
    if not m:
        return []
    return [re.sub(r"^\s*\[\s*\d+\]\s*", "", line).strip() for line in m.group(1).splitlines()
            if line.strip()]


def file_format(text):
    m = re.search(r"file format (\S+)", text)
    return m.group(1) if m else "unknown"


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: check_exports.py OBJDUMP BIN_DIR PE_FORMAT\n")
        return 2
    objdump, bin_dir, pe_format = argv
    problems = []
    report = exports(dump(objdump, os.path.join(bin_dir, "TARNReport.dll")))
    if "CreateUQExecutionReport" not in report:
        decorated = [n for n in report if "CreateUQExecutionReport" in n]
        problems.append("TARNReport.dll: CreateUQExecutionReport not exported under its plain "
                        "name (found %s)" % (decorated or "nothing"))
    for name in REPORT_MEMBERS:
        if name not in report:
            problems.append("TARNReport.dll: %s not exported" % name)
    for name in report:
        if name != "CreateUQExecutionReport" and not any(
                name.startswith("_ZN" + c) for c in REPORT_CLASSES):
            problems.append("TARNReport.dll: exports %s, which is no part of its interface" % name)
    for dll, classes in OWNED_TABLES.items():
        names = exports(dump(objdump, os.path.join(bin_dir, dll)))
        for c in classes:
            for kind in ("_ZTV", "_ZTI", "_ZTS"):
                if kind + c not in names:
                    problems.append("%s: %s%s (%s) not exported" % (
                        dll, kind, c, {"_ZTV": "virtual table", "_ZTI": "type information",
                                       "_ZTS": "type name"}[kind]))
    present = {n.lower() for n in os.listdir(bin_dir)}
    for name in sorted(os.listdir(bin_dir)):
        if not name.lower().endswith((".dll", ".exe")):
            continue
        text = dump(objdump, os.path.join(bin_dir, name))
        if file_format(text) != pe_format:
            problems.append("%s is %s, not %s" % (name, file_format(text), pe_format))
        for imported in re.findall(r"DLL Name: (\S+)", text):
            if imported.lower() not in present and not WINDOWS_DLLS.match(imported):
                problems.append("%s imports %s, which is not beside it" % (name, imported))
    for problem in problems:
        print(problem)
    if not problems:
        print("exports of %d names checked; every imported DLL is present; all %s" % (
            len(report), pe_format))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
