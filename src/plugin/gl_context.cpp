#include "gl_context.h"

#include "module.h"
#include "win_handles.h"

namespace voxaro {

namespace {

// WGL_ARB_pixel_format / WGL_ARB_multisample attributes.
constexpr int kDrawToWindow = 0x2001, kSupportOpenGL = 0x2010, kDoubleBuffer = 0x2011, kPixelType = 0x2013,
              kTypeRGBA = 0x202B, kColorBits = 0x2014, kDepthBits = 0x2022, kSampleBuffers = 0x2041, kSamples = 0x2042;

using ChoosePixelFormatARB = BOOL(WINAPI*)(HDC, const int*, const FLOAT*, UINT, int*, UINT*);

int QueryFormat(ChoosePixelFormatARB choose, HDC dc, int samples)
{
    const int attributes[] = {
        kDrawToWindow, 1,  kSupportOpenGL, 1, kDoubleBuffer, 1,       kPixelType, kTypeRGBA, kColorBits, 32,
        kDepthBits,    24, kSampleBuffers, 1, kSamples,      samples, 0};
    int format = 0;
    UINT count = 0;
    if (choose(dc, attributes, nullptr, 1, &format, &count) && count > 0 && format >= 1) return format;
    return 0;
}

}  // namespace

PIXELFORMATDESCRIPTOR ClassicPixelFormat()
{
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 24;
    pfd.iLayerType = PFD_MAIN_PLANE;
    return pfd;
}

bool TGLContext::CreateCurrent(const TWGL& wgl, HDC dc)
{
    Reset();
    WGL_ = &wgl;
    RC_ = wgl.CreateContext(dc);
    if (!RC_) return false;
    if (!wgl.MakeCurrent(dc, RC_)) {
        Reset();
        return false;
    }
    return true;
}

void TGLContext::Reset()
{
    if (!RC_) return;
    if (WGL_->GetCurrentContext() == RC_) WGL_->MakeCurrent(nullptr, nullptr);
    WGL_->DeleteContext(RC_);
    RC_ = nullptr;
}

TMultisampleFormat ProbeMultisampleFormat(const TWGL& wgl, const wchar_t* probeClass, DWORD probeStyle, HDC queryDC,
                                          std::initializer_list<int> sampleCounts)
{
    TMultisampleFormat found;
    TUniqueHwnd probe(
        CreateWindowExW(0, probeClass, L"", probeStyle, -32, -32, 1, 1, nullptr, nullptr, PluginInstance(), nullptr));
    if (!probe) return found;
    TWindowDC dc(probe);
    if (!dc.Get()) return found;
    PIXELFORMATDESCRIPTOR pfd = ClassicPixelFormat();
    int legacy = ChooseLegacyPixelFormat(wgl, dc, pfd);
    if (legacy == 0 || !SetPixelFormat(dc, legacy, &pfd)) return found;
    TGLContext temporary;
    if (!temporary.CreateCurrent(wgl, dc)) return found;
    auto choose =
        reinterpret_cast<ChoosePixelFormatARB>(reinterpret_cast<void*>(wgl.GetProcAddress("wglChoosePixelFormatARB")));
    if (!choose) return found;
    for (int n : sampleCounts) {
        int format = QueryFormat(choose, queryDC ? queryDC : dc.Get(), n);
        if (format) {
            found.Format = format;
            found.Samples = n;
            break;
        }
    }
    return found;  // owners release the context, the DC and the window in that order
}

}  // namespace voxaro
