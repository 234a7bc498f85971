// The Windows calls the report makes.  On Windows they are the real ones;
// elsewhere this layer provides them with the same signatures and meaning.
#pragma once

#if defined(_WIN32)

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#else

#include <cstdarg>
#include <cstddef>
#include <cstdio>

typedef void* HMODULE;
typedef HMODULE HINSTANCE;
typedef void* HLOCAL;
typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned int DWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const void* LPCVOID;
typedef int errno_t;

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001u
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004u

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, lpModuleName is an address
// inside the module.  The handle identifies the shared object (or program)
// that holds the address.
BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);

// Copies string resource uID of hInstance into lpBuffer (at most
// cchBufferMax - 1 characters and a terminator); returns the characters
// copied, 0 when there is no such string.
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

// FORMAT_MESSAGE_FROM_STRING with inserts %1 to %99 (optionally !printf!),
// taken from *Arguments; with FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is
// really a char** that receives a buffer to release with LocalFree.
// Returns the characters stored, without terminator, 0 on failure.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
HLOCAL LocalFree(HLOCAL hMem);

// The variable's value and its length when it fits nSize with its
// terminator; otherwise the size needed, terminator included; 0 when unset.
DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);

errno_t _splitpath_s(const char* path, char* drive, size_t driveNumberOfElements, char* dir,
                     size_t dirNumberOfElements, char* fname, size_t nameNumberOfElements,
                     char* ext, size_t extNumberOfElements);
errno_t fopen_s(FILE** pFile, const char* filename, const char* mode);

#endif
