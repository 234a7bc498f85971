#!/bin/sh
# The report library's layers, read from its source tree:
#  - the system is reached only through src/platform: no Windows function,
#    type, header or macro is named anywhere else in src/.
# Usage: check_layers.sh SOURCE_DIR
. "$(dirname "$0")/../shell_checks.sh"
src="$1/src"
[ -d "$src/sections" ] && [ -d "$src/platform" ] || { echo "no report sources under $1"; exit 2; }

windows_names='windows\.h|_WIN32|_WIN64|WIN32|HMODULE|HINSTANCE|HANDLE|HLOCAL|HWND|DWORD|BOOL|UINT|WORD|LPSTR|LPCSTR|LPVOID|LPCVOID|errno_t|GetModuleHandle(Ex)?[AW]?|LoadString[AW]?|FormatMessage[AW]?|LocalFree|LocalAlloc|GetEnvironmentVariable[AW]?|GetFileAttributes[AW]?|GetLastError|_splitpath_s|fopen_s|sprintf_s|_wfopen|__declspec|FORMAT_MESSAGE_[A-Z_]+|GET_MODULE_HANDLE_EX_[A-Z_]+'
find "$src" \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) ! -path "$src/platform/*" \
    -exec grep -nwE "$windows_names" {} + >"$work/names"
if [ -s "$work/names" ]; then
    cat "$work/names"
    fail "a Windows name outside src/platform/"
fi
finish "report layers"
