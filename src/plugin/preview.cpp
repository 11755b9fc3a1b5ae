// Thumbnails for the host's thumbnail view. Each call draws once into a
// hidden window with a GL context of its own, reads the back buffer into a
// 24-bit bottom-up DIB section and hands that to the host. Everything else it
// creates is released before it returns, and the caller's current GL context
// is made current again.
#include "preview.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include "GCodeParser.h"
#include "gl_context.h"
#include "module.h"
#include "plugin_state.h"
#include "text_convert.h"
#include "thumbnail_renderer.h"
#include "win_handles.h"

namespace voxaro {

namespace {

const wchar_t kThumbClass[] = L"3MFThumb";
const wchar_t kThumbGCodeClass[] = L"3MFThumbGC";
constexpr DWORD kHiddenPopup = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

bool ThumbClassRegistered = false;

// A coordinate of a hidden window placed off the screen: -(factor x size +
// gap), worked out in 64 bits and kept within int for sizes up to INT_MAX.
// INT_MIN itself is CW_USEDEFAULT, which would put the window at the origin.
int OffScreen(int size, int factor, int gap)
{
    const int64_t at = -(static_cast<int64_t>(factor) * size + gap);
    return static_cast<int>(std::max<int64_t>(at, INT_MIN + 1));
}

bool RegisterClassOnce(const wchar_t* name)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = PluginInstance();
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool RegisterThumbClass()
{
    TLockGuard lock(ModuleState().ThumbLock);
    if (!ThumbClassRegistered) ThumbClassRegistered = RegisterClassOnce(kThumbClass);
    return ThumbClassRegistered;
}

// The drawn picture, read row by row from the back buffer into a new
// bottom-up 24-bit DIB section (GL's row 0 is the bitmap's first row).
HBITMAP ReadBackBitmap(const TGLApi& gl, int width, int height)
{
    TUniqueMemDC mem(CreateCompatibleDC(nullptr));
    if (!mem) return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    TUniqueBitmap bitmap(CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return nullptr;
    TSelectObject select(mem, bitmap);
    // The section exists, so its rows fit the address space.
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    for (int row = 0; row < height; ++row)
        gl.ReadPixels(0, row, width, 1, gl::BGR, gl::UNSIGNED_BYTE, static_cast<uint8_t*>(bits) + row * stride);
    return bitmap.Forget();
}

// A hidden window with its own DC and GL context; the caller's context comes
// back when it goes. Members are released in reverse: context, the caller's
// context restored, DC, window.
class TThumbnailTarget {
public:
    explicit TThumbnailTarget(const TWGL& wgl) : WGL_(wgl), Restore_(wgl) {}

    bool CreateWindowAndDC(const wchar_t* cls, int x, int y, int width, int height)
    {
        Wnd_.Reset(CreateWindowExW(0, cls, L"", kHiddenPopup, x, y, width, height, nullptr, nullptr, PluginInstance(),
                                   nullptr));
        if (!Wnd_) return false;
        DC_ = TWindowDC(Wnd_);
        return DC_.Get() != nullptr;
    }
    HDC DC() const { return DC_.Get(); }
    bool CreateContext(int format)
    {
        PIXELFORMATDESCRIPTOR pfd = ClassicPixelFormat();
        return format != 0 && SetPixelFormat(DC_, format, &pfd) && RC_.CreateCurrent(WGL_, DC_);
    }

private:
    const TWGL& WGL_;
    TUniqueHwnd Wnd_;
    TWindowDC DC_;
    TCurrentContextGuard Restore_;
    TGLContext RC_;
};

HBITMAP RenderMeshThumbnail(const std::wstring& name, const std::string& pluginDir, int width, int height)
{
    if (width <= 0 || height <= 0) return nullptr;
    auto mesh = std::make_unique<TMeshData>();
    if (!mesh->LoadFromFile(name, pluginDir) || mesh->VertexCount == 0) return nullptr;
    const TWGL* wgl = GetWGL();
    if (!wgl || !RegisterThumbClass()) return nullptr;
    TThumbnailTarget target(*wgl);
    if (!target.CreateWindowAndDC(kThumbClass, OffScreen(width, 2, 0), 0, width, height)) return nullptr;
    TMultisampleFormat ms = ProbeMultisampleFormat(*wgl, kThumbClass, WS_POPUP, target.DC(), {4, 2});
    int format = ms.Format ? ms.Format : ChooseLegacyPixelFormat(*wgl, target.DC(), ClassicPixelFormat());
    if (!target.CreateContext(format)) return nullptr;
    DrawMeshThumbnail(wgl->GL, *mesh, width, height);
    return ReadBackBitmap(wgl->GL, width, height);
}

HBITMAP RenderGCodeThumbnail(const std::wstring& name, int width, int height)
{
    if (width <= 0 || height <= 0) return nullptr;
    auto parser = std::make_unique<TGCodeParser>();
    if (!parser->LoadFromFile(name) || parser->MoveCount == 0) return nullptr;
    const TWGL* wgl = GetWGL();
    if (!wgl) return nullptr;
    RegisterClassOnce(kThumbGCodeClass);  // a class left from an earlier call serves as well
    TThumbnailTarget target(*wgl);
    if (!target.CreateWindowAndDC(kThumbGCodeClass, OffScreen(width, 1, 8), OffScreen(height, 1, 8), width, height))
        return nullptr;
    if (!target.CreateContext(ChooseLegacyPixelFormat(*wgl, target.DC(), ClassicPixelFormat()))) return nullptr;
    if (!DrawGCodeThumbnail(wgl->GL, *parser, GetColorByLayer(), width, height)) return nullptr;
    return ReadBackBitmap(wgl->GL, width, height);
}

}  // namespace

HBITMAP RenderPreview(const char* ansiFileName, int width, int height)
{
    if (!ansiFileName) return nullptr;
    const std::wstring name = AnsiToWide(ansiFileName);
    if (name.empty()) return nullptr;
    if (IsGCodeThumbnailName(name)) return RenderGCodeThumbnail(name, width, height);
    return RenderMeshThumbnail(name, GetPluginDir(), width, height);
}

}  // namespace voxaro
