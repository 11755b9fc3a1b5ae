#include "wgl.h"

#include <mutex>

namespace voxaro {

namespace {

void* LoadGLProc(const char* name, void* module)
{
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

template <typename Fn> bool Resolve(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return fn != nullptr;
}

bool LoadWGL(TWGL& wgl)
{
    // Stays loaded for the life of the process: contexts may outlive any one viewer.
    HMODULE module = LoadLibraryW(L"opengl32.dll");
    if (!module) return false;
    bool ok = Resolve(module, "wglCreateContext", wgl.CreateContext) &&
              Resolve(module, "wglDeleteContext", wgl.DeleteContext) &&
              Resolve(module, "wglMakeCurrent", wgl.MakeCurrent) &&
              Resolve(module, "wglGetProcAddress", wgl.GetProcAddress) &&
              Resolve(module, "wglGetCurrentContext", wgl.GetCurrentContext) &&
              Resolve(module, "wglGetCurrentDC", wgl.GetCurrentDC);
    Resolve(module, "wglChoosePixelFormat", wgl.ChoosePixelFormat);
    return ok && LoadGLApi(wgl.GL, &LoadGLProc, module);
}

}  // namespace

const TWGL* GetWGL()
{
    static TWGL wgl;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] { loaded = LoadWGL(wgl); });
    return loaded ? &wgl : nullptr;
}

int ChooseLegacyPixelFormat(const TWGL& wgl, HDC dc, const PIXELFORMATDESCRIPTOR& pfd)
{
    return wgl.ChoosePixelFormat ? wgl.ChoosePixelFormat(dc, &pfd) : ::ChoosePixelFormat(dc, &pfd);
}

}  // namespace voxaro
