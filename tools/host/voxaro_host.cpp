// A small stand-in for the host file manager: loads the real plug-in DLL,
// opens each file in a Lister-like window, and writes a screenshot (PNG) and
// the status line of every view. Runs on Windows and under Wine.
//
//   voxaro_host PLUGIN OUTDIR [--dark] [--size WxH] [--keys KEYS] [--thumb WxH] FILE...
//
// --keys sends key presses to the view before the screenshot (e.g. "W" for
// the next draw mode, "LLL" to turn left three steps). --thumb asks for the
// host's thumbnails of the files instead.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lister_api.h"
#include "png_write.h"

namespace {

using namespace voxaro;

struct TPlugin {
    HMODULE Module = nullptr;
    ListLoadW_t ListLoadW = nullptr;
    ListCloseWindow_t ListCloseWindow = nullptr;
    ListSetDefaultParams_t ListSetDefaultParams = nullptr;
    ListGetPreviewBitmap_t ListGetPreviewBitmap = nullptr;
};

struct TOptions {
    std::wstring Plugin, OutDir, Keys;
    int Width = 800, Height = 600, Flags = 0;
    int ThumbWidth = 0, ThumbHeight = 0;  // --thumb WxH: thumbnails instead of views
    std::vector<std::wstring> Files;
};

LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SIZE) {
        // Like the host: the plug-in's window fills the client area.
        if (HWND child = GetWindow(wnd, GW_CHILD))
            SetWindowPos(child, nullptr, 0, 0, LOWORD(lp), HIWORD(lp), SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

void Pump(DWORD milliseconds)
{
    DWORD end = GetTickCount() + milliseconds;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

bool LoadPlugin(const std::wstring& path, TPlugin& p)
{
    p.Module = LoadLibraryW(path.c_str());
    if (!p.Module) return false;
    ResolveExport(p.Module, "ListLoadW", p.ListLoadW);
    ResolveExport(p.Module, "ListCloseWindow", p.ListCloseWindow);
    ResolveExport(p.Module, "ListSetDefaultParams", p.ListSetDefaultParams);
    ResolveExport(p.Module, "ListGetPreviewBitmap", p.ListGetPreviewBitmap);
    return p.ListLoadW && p.ListCloseWindow && p.ListSetDefaultParams && p.ListGetPreviewBitmap;
}

// Screen pixels of the window's client area as RGB, top row first.
std::vector<uint8_t> CaptureClient(HWND wnd, int& w, int& h)
{
    RECT rc{};
    GetClientRect(wnd, &rc);
    POINT origin = {0, 0};
    ClientToScreen(wnd, &origin);
    w = rc.right;
    h = rc.bottom;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    // GL windows are not part of the screen image under Wine; ask a visible
    // one to print its client area over its place.
    HWND root = GetWindow(wnd, GW_CHILD);
    HWND gl = root ? FindWindowExW(root, nullptr, L"VoxaroGL", nullptr) : nullptr;
    if (gl && IsWindowVisible(gl)) {
        POINT at = {0, 0};
        MapWindowPoints(gl, wnd, &at, 1);
        SetViewportOrgEx(mem, at.x, at.y, nullptr);
        SendMessageW(gl, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
        SetViewportOrgEx(mem, 0, 0, nullptr);
    }
    GdiFlush();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    const auto* src = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
        rgb[3 * i] = src[4 * i + 2];
        rgb[3 * i + 1] = src[4 * i + 1];
        rgb[3 * i + 2] = src[4 * i];
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return rgb;
}

std::wstring StatusText(HWND root)
{
    HWND status = FindWindowExW(root, nullptr, STATUSCLASSNAMEW, nullptr);
    if (!status) return L"(no status bar)";
    wchar_t buf[1024] = {};
    LRESULT len = SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0);
    if (LOWORD(len) < 1024) SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buf));
    return buf;
}

std::string Utf8(const std::wstring& s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring BaseName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void SendKeys(HWND root, const std::wstring& keys)
{
    HWND gl = FindWindowExW(root, nullptr, L"VoxaroGL", nullptr);
    for (wchar_t k : keys) {
        UINT vk = k == L'L' ? VK_LEFT : k == L'U' ? VK_UP : k == L'+' ? VK_ADD : k;
        SendMessageW(gl, WM_KEYDOWN, vk, 1);
    }
}

bool ParseArgs(int argc, wchar_t** argv, TOptions& o)
{
    if (argc < 4) return false;
    o.Plugin = argv[1];
    o.OutDir = argv[2];
    for (int i = 3; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--dark")
            o.Flags |= 128;
        else if (a == L"--size" && i + 1 < argc)
            swscanf(argv[++i], L"%dx%d", &o.Width, &o.Height);
        else if (a == L"--thumb" && i + 1 < argc)
            swscanf(argv[++i], L"%dx%d", &o.ThumbWidth, &o.ThumbHeight);
        else if (a == L"--keys" && i + 1 < argc)
            o.Keys = argv[++i];
        else
            o.Files.push_back(a);
    }
    return !o.Files.empty();
}

HWND CreateListerWindow(const TOptions& o)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ListerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TLister";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&wc);
    RECT rc = {0, 0, o.Width, o.Height};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    HWND wnd = CreateWindowW(L"TLister", L"Lister - Voxaro", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                             rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(wnd, SW_SHOW);
    UpdateWindow(wnd);
    return wnd;
}

// The host's thumbnail request; the 24-bit bottom-up bitmap goes to a PNG.
int ThumbnailFile(const TPlugin& plugin, const TOptions& o, const std::wstring& file, FILE* log)
{
    int n = WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, file.c_str(), -1, ansi.data(), n, nullptr, nullptr);
    HBITMAP bmp = plugin.ListGetPreviewBitmap(ansi.data(), o.ThumbWidth, o.ThumbHeight, nullptr, 0);
    std::wstring png = o.OutDir + L"\\" + BaseName(file) + L".thumb.png";
    if (!bmp) {
        std::fprintf(log, "%s\tno thumbnail\n", Utf8(BaseName(png)).c_str());
        return 0;
    }
    DIBSECTION ds{};
    GetObjectW(bmp, sizeof ds, &ds);
    int w = ds.dsBm.bmWidth, h = ds.dsBm.bmHeight;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const auto* row =
            static_cast<const uint8_t*>(ds.dsBm.bmBits) + static_cast<size_t>(h - 1 - y) * ds.dsBm.bmWidthBytes;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[(static_cast<size_t>(y) * w + x) * 3 + c] = row[3 * x + 2 - c];
    }
    DeleteObject(bmp);
    voxaro::WritePng(Utf8(png), rgb.data(), w, h);
    std::fprintf(log, "%s\tthumbnail %dx%d\n", Utf8(BaseName(png)).c_str(), w, h);
    return 0;
}

int ViewFile(const TPlugin& plugin, HWND lister, const TOptions& o, const std::wstring& file, FILE* log)
{
    HWND root = plugin.ListLoadW(lister, const_cast<WCHAR*>(file.c_str()), o.Flags);
    if (!root) {
        std::fprintf(log, "%s\tListLoadW returned 0\n", Utf8(BaseName(file)).c_str());
        return 1;
    }
    RECT rc{};
    GetClientRect(lister, &rc);
    SetWindowPos(root, nullptr, 0, 0, rc.right, rc.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    Pump(700);
    if (!o.Keys.empty()) {
        SendKeys(root, o.Keys);
        Pump(500);
    }
    int w = 0, h = 0;
    std::vector<uint8_t> rgb = CaptureClient(lister, w, h);
    std::wstring png = o.OutDir + L"\\" + BaseName(file) + (o.Flags & 128 ? L".dark" : L"") +
                       (o.Keys.empty() ? L"" : L".keys-" + o.Keys) + L".png";
    voxaro::WritePng(Utf8(png), rgb.data(), w, h);
    std::fprintf(log, "%s\t%s\n", Utf8(BaseName(png)).c_str(), Utf8(StatusText(root)).c_str());
    plugin.ListCloseWindow(root);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    TOptions o;
    if (!ParseArgs(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: voxaro_host PLUGIN OUTDIR [--dark] [--size WxH] [--keys KEYS] [--thumb WxH] FILE...\n");
        return 2;
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    TPlugin plugin;
    if (!LoadPlugin(o.Plugin, plugin)) {
        std::fprintf(stderr, "voxaro_host: cannot load %s\n", Utf8(o.Plugin).c_str());
        return 1;
    }
    plugin.ListSetDefaultParams(nullptr);
    HWND lister = CreateListerWindow(o);
    Pump(300);
    FILE* log = _wfopen((o.OutDir + L"\\status.txt").c_str(), L"ab");
    if (!log) return 1;
    int failures = 0;
    for (const std::wstring& file : o.Files)
        failures += o.ThumbWidth > 0 ? ThumbnailFile(plugin, o, file, log) : ViewFile(plugin, lister, o, file, log);
    std::fclose(log);
    DestroyWindow(lister);
    FreeLibrary(plugin.Module);
    return failures ? 1 : 0;
}
