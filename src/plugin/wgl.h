// opengl32.dll, loaded by name once per process: the GL 1.1 table for the
// drawing code and the WGL entry points for pixel formats and contexts.
#pragma once

#include <windows.h>

#include "gl_api.h"

namespace voxaro {

struct TWGL {
    HGLRC(WINAPI* CreateContext)(HDC) = nullptr;
    BOOL(WINAPI* DeleteContext)(HGLRC) = nullptr;
    BOOL(WINAPI* MakeCurrent)(HDC, HGLRC) = nullptr;
    PROC(WINAPI* GetProcAddress)(LPCSTR) = nullptr;
    HGLRC(WINAPI* GetCurrentContext)() = nullptr;
    HDC(WINAPI* GetCurrentDC)() = nullptr;
    // Optional: opengl32's own pixel-format chooser; gdi32's is used without it.
    int(WINAPI* ChoosePixelFormat)(HDC, const PIXELFORMATDESCRIPTOR*) = nullptr;
    TGLApi GL;
};

// The process-wide table, or null when opengl32 or an entry point is missing.
const TWGL* GetWGL();

// The legacy pixel-format chooser: opengl32's when it has one, else gdi32's.
int ChooseLegacyPixelFormat(const TWGL& wgl, HDC dc, const PIXELFORMATDESCRIPTOR& pfd);

}  // namespace voxaro
