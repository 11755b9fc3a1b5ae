#include "plugin_fixture.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwchar>

namespace voxaro::wine {

namespace {

template <typename Fn>
void Resolve(HMODULE m, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

std::wstring Env(const wchar_t* name)
{
    const wchar_t* v = _wgetenv(name);
    return v ? v : L"";
}

LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<TListerWindow*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (msg == WM_SIZE) {
        if (HWND child = GetWindow(wnd, GW_CHILD))
            SetWindowPos(child, nullptr, 0, 0, LOWORD(lp), HIWORD(lp), SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    if (msg == WM_KEYDOWN && self) {
        self->Keys.push_back({wp, lp});
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

TImage FromDib(HDC mem, int w, int h, void (*draw)(HDC, HWND), HWND wnd)
{
    TImage img;
    img.Width = w;
    img.Height = h;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp) return img;
    HGDIOBJ old = SelectObject(mem, bmp);
    draw(mem, wnd);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    img.Pixels.assign(p, p + static_cast<size_t>(w) * h);
    for (uint32_t& px : img.Pixels) px &= 0xFFFFFF;  // BGRA in memory is 0x00RRGGBB
    SelectObject(mem, old);
    DeleteObject(bmp);
    return img;
}

TImage Capture(HWND wnd, void (*draw)(HDC, HWND))
{
    RECT rc{};
    GetClientRect(wnd, &rc);
    if (rc.right <= 0 || rc.bottom <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    TImage img = FromDib(mem, rc.right, rc.bottom, draw, wnd);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return img;
}

}  // namespace

bool TPluginApi::Load()
{
    Module = LoadLibraryW(PluginPath().c_str());
    if (!Module) return false;
    Resolve(Module, "ListLoad", ListLoad);
    Resolve(Module, "ListLoadW", ListLoadW);
    Resolve(Module, "ListLoadNext", ListLoadNext);
    Resolve(Module, "ListLoadNextW", ListLoadNextW);
    Resolve(Module, "ListCloseWindow", ListCloseWindow);
    Resolve(Module, "ListGetDetectString", ListGetDetectString);
    Resolve(Module, "ListSetDefaultParams", ListSetDefaultParams);
    Resolve(Module, "ListSendCommand", ListSendCommand);
    Resolve(Module, "ListGetPreviewBitmap", ListGetPreviewBitmap);
    return true;
}

void TPluginApi::Unload()
{
    if (Module) FreeLibrary(Module);
    *this = TPluginApi{};
}

std::wstring PluginPath() { return Env(L"VOXARO_PLUGIN"); }

TPluginApi& Plugin()
{
    static TPluginApi api;
    if (!api.Module) {
        // Like the host, whose common controls are up before any plug-in loads.
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        api.Load();
    }
    return api;
}

TListerWindow::TListerWindow(int width, int height)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ListerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TTestLister";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        RegisterClassW(&wc);
        registered = true;
    }
    Wnd_ = CreateWindowW(L"TTestLister", L"Lister", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 100, 100, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(Wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetClientSize(width, height);
    ShowWindow(Wnd_, SW_SHOW);
    Pump(50);
}

TListerWindow::~TListerWindow()
{
    SetWindowLongPtrW(Wnd_, GWLP_USERDATA, 0);
    DestroyWindow(Wnd_);
    Pump(20);
}

void TListerWindow::SetClientSize(int width, int height)
{
    RECT rc = {0, 0, width, height};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(Wnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOZORDER | SWP_NOMOVE);
    Pump(30);
}

void Pump(DWORD milliseconds)
{
    DWORD end = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

std::wstring DataPath(const std::wstring& name) { return Env(L"VOXARO_TEST_DATA") + L"\\" + name; }

std::wstring WriteTempFile(const std::wstring& name, const std::string& bytes)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring folder = std::wstring(dir) + L"voxaro-wine-tests";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\" + name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return path;
}

HWND ChildOfClass(HWND parent, const wchar_t* className)
{
    return parent ? FindWindowExW(parent, nullptr, className, nullptr) : nullptr;
}

HWND GLWindow(HWND root) { return ChildOfClass(root, L"VoxaroGL"); }
HWND StatusWindow(HWND root) { return ChildOfClass(root, STATUSCLASSNAMEW); }

std::wstring StatusText(HWND root)
{
    HWND status = StatusWindow(root);
    if (!status) return L"";
    wchar_t buf[2048] = {};
    if (LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0)) >= 2048) return L"(too long)";
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buf));
    return buf;
}

size_t TImage::Count(uint32_t color, int tolerance) const
{
    size_t n = 0;
    for (uint32_t p : Pixels) n += Near(p, color, tolerance);
    return n;
}

bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

TImage CaptureWindow(HWND wnd)
{
    return Capture(wnd, [](HDC mem, HWND w) {
        RECT rc{};
        GetClientRect(w, &rc);
        HDC dc = GetDC(w);
        BitBlt(mem, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
        ReleaseDC(w, dc);
    });
}

TImage CaptureGL(HWND glWnd)
{
    return Capture(glWnd, [](HDC mem, HWND w) {
        SendMessageW(w, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    });
}

}  // namespace voxaro::wine
