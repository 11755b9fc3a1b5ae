// The one compiler/platform switch the portable layers need: the calling
// convention of system GL entry points (stdcall on 32-bit Windows).
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define VOXARO_GLAPI __stdcall
#else
#define VOXARO_GLAPI
#endif
