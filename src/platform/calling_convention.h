// The compiler/platform switches the portable layers need: the calling
// conventions of entry points fetched by name from system libraries.
#pragma once

// System GL entry points: stdcall on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define VOXARO_GLAPI __stdcall
#else
#define VOXARO_GLAPI
#endif

// lib3mf's C interface: cdecl everywhere (only x86 Windows has a choice).
#if defined(_WIN32)
#define VOXARO_CDECL __cdecl
#else
#define VOXARO_CDECL
#endif
