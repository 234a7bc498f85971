// Export and import markers of the three libraries.
//
// Every library is built with hidden visibility; what it offers is marked
// here.  A library's own sources define its BUILDING_ macro, so the marker
// exports there and imports everywhere else.
#pragma once

#if defined(_WIN32)
#define LIBS_DLL_EXPORT __declspec(dllexport)
#define LIBS_DLL_IMPORT __declspec(dllimport)
#define LIBS_DLL_LOCAL
#else
#define LIBS_DLL_EXPORT __attribute__((visibility("default")))
#define LIBS_DLL_IMPORT __attribute__((visibility("default")))
// A member of a LIBS_SHARED_CLASS class that its library keeps to itself:
// without it the member would take the class's default visibility.
#define LIBS_DLL_LOCAL __attribute__((visibility("hidden")))
#endif

// Classes whose members are exported one by one from more than one library
// (the iteration-data and exception classes).  On ELF their virtual tables
// and type information must stay visible to every library; on Windows the
// members carry their own markers.
#if defined(_WIN32)
#define LIBS_SHARED_CLASS
#else
#define LIBS_SHARED_CLASS __attribute__((visibility("default")))
#endif

// The model library (veldxmps).
#if defined(BUILDING_VELDXMPS)
#define VELD_API LIBS_DLL_EXPORT
#else
#define VELD_API LIBS_DLL_IMPORT
#endif

// The solver library (tarn).
#if defined(BUILDING_TARN)
#define TARN_API LIBS_DLL_EXPORT
#else
#define TARN_API LIBS_DLL_IMPORT
#endif

// The report library (TARNReport).  Its class members are exported one by
// one.  The solver library compiles the default operations of IterationData
// too, for the virtual table it owns, and keeps them to itself; neither
// stand-in library defines the copy operations, and a hidden declaration
// there turns any use of them into a link error.
#if defined(BUILDING_TARNREPORT)
#define TARNREPORT_API LIBS_DLL_EXPORT
#elif defined(BUILDING_TARN) || defined(BUILDING_VELDXMPS)
#define TARNREPORT_API LIBS_DLL_LOCAL
#else
#define TARNREPORT_API LIBS_DLL_IMPORT
#endif

// The calling convention of the report's C entry point.
#if defined(_WIN32)
#define TARN_CDECL __cdecl
#else
#define TARN_CDECL
#endif
