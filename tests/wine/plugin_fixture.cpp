#include "plugin_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace voxaro::wine {

namespace {

// A crash in the plug-in ends the test program with a message instead of
// waiting for a debugger.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "CRASH: exception 0x%08lx at %p\n", info->ExceptionRecord->ExceptionCode,
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
[[maybe_unused]] const LPTOP_LEVEL_EXCEPTION_FILTER kPreviousFilter = SetUnhandledExceptionFilter(ReportCrash);

std::wstring Env(const wchar_t* name)
{
    const wchar_t* v = _wgetenv(name);
    return v ? v : L"";
}

constexpr DWORD kListerStyle = WS_POPUP | WS_CLIPCHILDREN;

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

// Client area of a window as drawn into a memory DC; empty when the area is.
TImage Capture(HWND wnd, const std::function<void(HDC)>& draw)
{
    RECT rc{};
    GetClientRect(wnd, &rc);
    if (rc.right <= 0 || rc.bottom <= 0) return {};
    return PaintImage(rc.right, rc.bottom, draw);
}

}  // namespace

bool TPluginApi::Load()
{
    return Load(PluginPath());
}

bool TPluginApi::Load(const std::wstring& path)
{
    Module = LoadLibraryW(path.c_str());
    if (!Module) return false;
    ResolveExport(Module, "ListLoad", ListLoad);
    ResolveExport(Module, "ListLoadW", ListLoadW);
    ResolveExport(Module, "ListLoadNext", ListLoadNext);
    ResolveExport(Module, "ListLoadNextW", ListLoadNextW);
    ResolveExport(Module, "ListCloseWindow", ListCloseWindow);
    ResolveExport(Module, "ListGetDetectString", ListGetDetectString);
    ResolveExport(Module, "ListSetDefaultParams", ListSetDefaultParams);
    ResolveExport(Module, "ListSendCommand", ListSendCommand);
    ResolveExport(Module, "ListGetPreviewBitmap", ListGetPreviewBitmap);
    return true;
}

void TPluginApi::Unload()
{
    if (Module) FreeLibrary(Module);
    *this = TPluginApi{};
}

std::wstring PluginPath()
{
    return Env(L"VOXARO_PLUGIN");
}

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
    // A popup without caption or sizing frame: Wine's X11 driver then leaves
    // it unmanaged and does not wait for a window manager (which Xvfb lacks)
    // when the window is destroyed.
    Wnd_ = CreateWindowW(L"TTestLister", L"Lister", kListerStyle, 0, 0, 100, 100, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(Wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetClientSize(width, height);
    ShowWindow(Wnd_, SW_SHOWNOACTIVATE);
    Pump(50);
}

TListerWindow::~TListerWindow()
{
    SetWindowLongPtrW(Wnd_, GWLP_USERDATA, 0);
    DestroyWindow(Wnd_);
    Pump(20);
}

void TListerWindow::FitChild()
{
    SIZE size = ClientSize();
    if (HWND child = GetWindow(Wnd_, GW_CHILD))
        SetWindowPos(child, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    Pump(30);  // lets Wine resize the GL drawables
}

SIZE TListerWindow::ClientSize() const
{
    RECT rc{};
    GetClientRect(Wnd_, &rc);
    return {rc.right, rc.bottom};
}

TViewer::TViewer(TListerWindow& lister, const std::wstring& file, int showFlags, bool fit) : Lister_(lister)
{
    std::wstring name = file;
    Root_ = Plugin().ListLoadW(lister.Handle(), name.data(), showFlags);
    if (Root_ && fit) lister.FitChild();
}

TViewer::~TViewer()
{
    Close();
}

HWND TViewer::GL() const
{
    return GLWindow(Root_);
}

std::wstring TViewer::Status() const
{
    return StatusText(Root_);
}

int TViewer::Reload(const std::wstring& file, int showFlags)
{
    std::wstring name = file;
    return Plugin().ListLoadNextW(Lister_.Handle(), Root_, name.data(), showFlags);
}

void TViewer::Key(WPARAM vk, LPARAM data) const
{
    SendMessageW(GL(), WM_KEYDOWN, vk, data);
}

void TViewer::Close()
{
    if (Root_) Plugin().ListCloseWindow(Root_);
    Root_ = nullptr;
}

void TListerWindow::SetClientSize(int width, int height)
{
    RECT rc = {0, 0, width, height};
    AdjustWindowRect(&rc, kListerStyle, FALSE);
    // Wine's X11 driver hands an active window that is moved or sized to the
    // window manager, and then waits two seconds for one (Xvfb has none) when
    // the window is destroyed. So the window is deactivated first; this takes
    // the keyboard focus away from the viewer.
    if (GetActiveWindow() == Wnd_) SetActiveWindow(nullptr);
    SetWindowPos(Wnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
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

std::wstring DataPath(const std::wstring& name)
{
    return Env(L"VOXARO_TEST_DATA") + L"\\" + name;
}

const std::wstring& Gear()
{
    static const std::wstring p = DataPath(L"openscad_gear_bin.stl");
    return p;
}
const std::wstring& Overhang()
{
    static const std::wstring p = DataPath(L"openscad_overhang_ascii.stl");
    return p;
}
const std::wstring& Slice()
{
    static const std::wstring p = DataPath(L"prusaslicer_overhang_supports.gcode");
    return p;
}

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

std::wstring MissingTempFile(const std::wstring& name)
{
    std::wstring path = WriteTempFile(name, "");
    DeleteFileW(path.c_str());
    return path;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(h, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size && (!ReadFile(h, bytes.data(), size, &read, nullptr) || read != size)) bytes.clear();
    CloseHandle(h);
    return bytes;
}

std::wstring FileNameOnly(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string Ansi(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring AnsiRoundTrip(const std::wstring& text)
{
    if (text.empty()) return text;
    const std::string ansi = Ansi(text);
    const int n = static_cast<int>(ansi.size()) - 1;  // without the terminator
    int m = MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, nullptr, 0);
    std::wstring back(static_cast<size_t>(m), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, back.data(), m);
    return back;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

const wchar_t kKeyHelp[] = L"  [R]Reset  [W]Mode  [+/-]Zoom  [Arrows]Rotate";

namespace {

using wglCreateContext_t = HGLRC(WINAPI*)(HDC);
using wglMakeCurrent_t = BOOL(WINAPI*)(HDC, HGLRC);
using wglDeleteContext_t = BOOL(WINAPI*)(HGLRC);
using wglGetProcAddress_t = PROC(WINAPI*)(LPCSTR);
using wglChoosePixelFormatARB_t = BOOL(WINAPI*)(HDC, const int*, const FLOAT*, UINT, int*, UINT*);

int ProbeSamples()
{
    HMODULE gl = LoadLibraryW(L"opengl32.dll");
    if (!gl) return 0;
    wglCreateContext_t create{};
    wglMakeCurrent_t makeCurrent{};
    wglDeleteContext_t destroy{};
    wglGetProcAddress_t getProc{};
    ResolveExport(gl, "wglCreateContext", create);
    ResolveExport(gl, "wglMakeCurrent", makeCurrent);
    ResolveExport(gl, "wglDeleteContext", destroy);
    ResolveExport(gl, "wglGetProcAddress", getProc);
    if (!create || !makeCurrent || !destroy || !getProc) return 0;

    WNDCLASSW wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TTestGLProbe";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowW(L"TTestGLProbe", L"", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, -32, -32, 1, 1,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!wnd) return 0;
    int samples = 0;
    HDC dc = GetDC(wnd);
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 24;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int legacy = ChoosePixelFormat(dc, &pfd);
    if (legacy && SetPixelFormat(dc, legacy, &pfd)) {
        if (HGLRC rc = create(dc)) {
            if (makeCurrent(dc, rc)) {
                auto choose = reinterpret_cast<wglChoosePixelFormatARB_t>(
                    reinterpret_cast<void*>(getProc("wglChoosePixelFormatARB")));
                for (int n : {8, 4, 2}) {
                    if (!choose) break;
                    const int attributes[] = {0x2001, 1,      0x2010, 1,      0x2011, 1,      0x2013, 0x202B, 0x2014,
                                              32,     0x2022, 24,     0x2041, 1,      0x2042, n,      0};
                    int format = 0;
                    UINT count = 0;
                    if (choose(dc, attributes, nullptr, 1, &format, &count) && count > 0 && format >= 1) {
                        samples = n;
                        break;
                    }
                }
                makeCurrent(nullptr, nullptr);
            }
            destroy(rc);
        }
    }
    ReleaseDC(wnd, dc);
    DestroyWindow(wnd);
    return samples;
}

}  // namespace

int ExpectedSamples()
{
    static const int samples = ProbeSamples();
    return samples;
}

std::wstring MeshAaSuffix()
{
    int n = ExpectedSamples();
    return n >= 1 ? L"  |  MSAA " + std::to_wstring(n) + L"x" : L"  |  AA off";
}

std::wstring GCodeAaSuffix()
{
    int n = ExpectedSamples();
    return n >= 1 ? L"  |  MSAA " + std::to_wstring(n) + L"x" : L"";
}

RECT RectInParent(HWND wnd)
{
    RECT rc{};
    GetWindowRect(wnd, &rc);
    MapWindowPoints(HWND_DESKTOP, GetParent(wnd), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::wstring ClassOf(HWND wnd)
{
    wchar_t name[128] = {};
    GetClassNameW(wnd, name, 128);
    return name;
}

namespace {

struct TRecorderState {
    HHOOK Hook = nullptr;
    bool Seen = false;
    TImage Image;
    TImage Printed;
};
TRecorderState* Recorder = nullptr;

LRESULT CALLBACK RecordRootPaint(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION && Recorder && !Recorder->Seen) {
        const auto* ret = reinterpret_cast<const CWPRETSTRUCT*>(lp);
        if (ret->message == WM_PAINT && ClassOf(ret->hwnd) == L"VoxaroRoot") {
            Recorder->Seen = true;
            Recorder->Image = CaptureWindow(ret->hwnd);
            Recorder->Printed = PrintedWindow(ret->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

TRootPaintRecorder::TRootPaintRecorder()
{
    Recorder = new TRecorderState;
    Recorder->Hook = SetWindowsHookExW(WH_CALLWNDPROCRET, RecordRootPaint, nullptr, GetCurrentThreadId());
}

TRootPaintRecorder::~TRootPaintRecorder()
{
    if (Recorder->Hook) UnhookWindowsHookEx(Recorder->Hook);
    delete Recorder;
    Recorder = nullptr;
}

bool TRootPaintRecorder::Seen() const
{
    return Recorder->Seen;
}
const TImage& TRootPaintRecorder::Image() const
{
    return Recorder->Image;
}
const TImage& TRootPaintRecorder::Printed() const
{
    return Recorder->Printed;
}

namespace {

struct TPlacementState {
    HHOOK Hook = nullptr;
    HWND Target = nullptr;
    std::vector<RECT> Seen;  // left, top, width, height
};
TPlacementState* Placements = nullptr;

LRESULT CALLBACK RecordPlacement(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION && Placements) {
        const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (msg->message == WM_WINDOWPOSCHANGING && msg->hwnd == Placements->Target) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(msg->lParam);
            if (!(pos->flags & (SWP_NOMOVE | SWP_NOSIZE)))
                Placements->Seen.push_back({pos->x, pos->y, pos->cx, pos->cy});
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

TPlacementRecorder::TPlacementRecorder(HWND target)
{
    Placements = new TPlacementState;
    Placements->Target = target;
    Placements->Hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordPlacement, nullptr, GetCurrentThreadId());
}

TPlacementRecorder::~TPlacementRecorder()
{
    if (Placements->Hook) UnhookWindowsHookEx(Placements->Hook);
    delete Placements;
    Placements = nullptr;
}

bool TPlacementRecorder::Saw(int x, int y, int width, int height) const
{
    for (const RECT& r : Placements->Seen)
        if (r.left == x && r.top == y && r.right == width && r.bottom == height) return true;
    return false;
}

std::string TPlacementRecorder::Describe() const
{
    std::string text = "placements:";
    for (const RECT& r : Placements->Seen)
        text += " (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ") " + std::to_string(r.right) + " x " +
                std::to_string(r.bottom) + ";";
    return text;
}

HWND ChildOfClass(HWND parent, const wchar_t* className)
{
    return parent ? FindWindowExW(parent, nullptr, className, nullptr) : nullptr;
}

HWND GLWindow(HWND root)
{
    return ChildOfClass(root, L"VoxaroGL");
}
HWND StatusWindow(HWND root)
{
    return ChildOfClass(root, STATUSCLASSNAMEW);
}

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
    for (uint32_t p : Pixels)
        n += Near(p, color, tolerance);
    return n;
}

size_t TImage::CountIn(uint32_t color, int tolerance, int x0, int y0, int x1, int y1) const
{
    size_t n = 0;
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < Height; ++y)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < Width; ++x)
            n += Near(At(x, y), color, tolerance);
    return n;
}

size_t DiffCount(const TImage& a, const TImage& b)
{
    if (a.Width != b.Width || a.Height != b.Height)
        return a.Pixels.size() > b.Pixels.size() ? a.Pixels.size() : b.Pixels.size();
    size_t n = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i)
        n += a.Pixels[i] != b.Pixels[i];
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
    return Capture(wnd, [wnd](HDC mem) {
        RECT rc{};
        GetClientRect(wnd, &rc);
        HDC dc = GetDC(wnd);
        BitBlt(mem, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
        ReleaseDC(wnd, dc);
    });
}

TImage PrintedWindow(HWND wnd)
{
    return Capture(wnd, [wnd](HDC mem) { PrintWindow(wnd, mem, PW_CLIENTONLY); });
}

TImage CaptureGL(HWND glWnd)
{
    return Capture(
        glWnd, [glWnd](HDC mem) { SendMessageW(glWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT); });
}

TImage PaintImage(int w, int h, const std::function<void(HDC)>& paint)
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
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    if (HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0)) {
        HGDIOBJ old = SelectObject(mem, bmp);
        paint(mem);
        GdiFlush();
        const auto* p = static_cast<const uint32_t*>(bits);
        img.Pixels.assign(p, p + static_cast<size_t>(w) * h);
        for (uint32_t& px : img.Pixels)
            px &= 0xFFFFFF;  // BGRA in memory is 0x00RRGGBB
        SelectObject(mem, old);
        DeleteObject(bmp);
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return img;
}

void ExpectCorners(const TImage& frame, uint32_t colour)
{
    ASSERT_FALSE(frame.Empty());
    const int right = frame.Width - 1, bottom = frame.Height - 1;
    for (POINT p : {POINT{0, 0}, POINT{right, 0}, POINT{0, bottom}, POINT{right, bottom}})
        EXPECT_TRUE(Near(frame.At(p.x, p.y), colour, 1))
            << "(" << p.x << ", " << p.y << ") is " << std::hex << frame.At(p.x, p.y);
}

}  // namespace voxaro::wine
