#include "viewer_form.h"

#include <commctrl.h>

#include <cstdio>

#include "gcode_summary.h"
#include "module.h"
#include "os_error.h"
#include "text_convert.h"
#include "text_scan.h"

namespace voxaro {

namespace {

HWND CreateChild(const wchar_t* cls, DWORD style, int w, int h, HWND parent, int id)
{
    HWND wnd = CreateWindowExW(0, cls, L"", style, 0, 0, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), PluginInstance(), nullptr);
    if (!wnd) RaiseLastOSError();
    return wnd;
}

// The bar keeps the 22 pixels the layout gives it instead of sizing itself to
// its font, so no unpainted strip opens between it and the GL window.
constexpr DWORD kStatusBarStyle = CCS_NORESIZE | CCS_NOPARENTALIGN;

std::string Format(const char* fmt, int a)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

}  // namespace

TViewerForm::TViewerForm(HWND parent)
{
    RegisterViewerClasses();
    RootWnd.Reset(
        CreateChild(kRootClass, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 400, 300, parent, 0));
    SetWindowLongPtrW(RootWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    try {
        StatusWnd.Reset(
            CreateChild(STATUSCLASSNAMEW, WS_CHILD | WS_VISIBLE | kStatusBarStyle, 0, 0, RootWnd, kStatusId));
        GLWnd.Reset(CreateChild(kGLClass, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 400,
                                300 - kStatusBarHeight, RootWnd, kGLId));
    } catch (...) {
        // The half-built object must not receive the messages of its windows'
        // destruction: they run on the default procedure.
        SetWindowLongPtrW(RootWnd, GWLP_USERDATA, 0);
        throw;
    }
    SetWindowLongPtrW(GLWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TViewerForm::~TViewerForm()
{
    ReleaseGL();
    Mesh.reset();
    GCode.reset();
    PanelFont.Reset();
    GLWnd.Reset();
    StatusWnd.Reset();
    RootWnd.Reset();
}

void TViewerForm::DetachAndFree(std::unique_ptr<TViewerForm> form)
{
    form->StopListTimer();  // no timer message may reach the unloaded module
    form->GLRC.Reset();
    form->GLDC.Forget();
    form->GLWnd.Forget();
    form->StatusWnd.Forget();
    form->RootWnd.Forget();
}  // the viewer is freed here, releasing its model, parser and font

void TViewerForm::LoadFile(const std::wstring& fileName, const std::string& pluginDir, int showFlags)
{
    PluginDir = pluginDir;
    DarkMode = (showFlags & 128) != 0;
    ReleaseToolpathLists();
    ShowLoadingSplash(fileName);
    if (IsGCodeFileName(fileName))
        LoadGCodeFile(fileName);
    else
        LoadMeshFile(fileName);
}

// Puts the splash page with the loading line on screen before the reader blocks.
void TViewerForm::ShowLoadingSplash(const std::wstring& fileName)
{
    GLReady = false;
    GLFailed = false;
    ShowSplash = true;
    StatusText = "Loading " + WideToAnsi(FileNameOnly(fileName)) + "...";
    ErrorText.clear();
    if (GLWnd) ShowWindow(GLWnd, SW_HIDE);
    if (PanelWnd) ShowWindow(PanelWnd, SW_HIDE);
    if (RootWnd) {
        InvalidateRect(RootWnd, nullptr, TRUE);
        UpdateWindow(RootWnd);
    }
    SetStatus("Loading...");
}

void TViewerForm::FailLoad(const std::string& ansiError, const std::string& status)
{
    ShowSplash = false;
    ErrorText = ansiError;
    if (RootWnd) InvalidateRect(RootWnd, nullptr, TRUE);
    SetStatus(status);
}

// Lays out and shows the GL window; creates the context on first use.
bool TViewerForm::ShowGLWindow()
{
    if (!GLRC && !CreateGLContext()) {
        GLFailed = true;
        return false;
    }
    ShowSplash = false;
    RECT rc{};
    GetClientRect(RootWnd, &rc);
    LayoutChildren(rc.right, rc.bottom);
    ShowWindow(GLWnd, SW_SHOW);
    InvalidateRect(GLWnd, nullptr, FALSE);
    return true;
}

void TViewerForm::LoadGCodeFile(const std::wstring& fileName)
{
    IsGCode = true;
    GCode.reset();
    GCode = std::make_unique<TGCodeParser>();
    Mesh.reset();
    Mesh = std::make_unique<TMeshData>();
    if (!GCode->LoadFromFile(fileName)) {
        std::string error = Utf8ToAnsi(GCode->ErrorMsg);
        FailLoad(error, "Error: " + error);
        return;
    }
    CreateGCodePanel();
    LayerSel = -1;
    LineWidth = 0.4;
    FitGCodeCamera(GCodeCam, GCode.get());
    ResetGCodeAngles(GCodeCam);
    UpdateGCodePanel();
    if (!ShowGLWindow()) {
        FailLoad("OpenGL context failed.", "Error: OpenGL");
        return;
    }
    SetStatus(GCodeStatusLine(*GCode, Samples));
    SetFocus(GLWnd);
}

void TViewerForm::LoadMeshFile(const std::wstring& fileName)
{
    IsGCode = false;
    GCode.reset();
    Mesh.reset();
    Mesh = std::make_unique<TMeshData>();
    if (!Mesh->LoadFromFile(fileName, PluginDir)) {
        std::string error = Utf8ToAnsi(Mesh->ErrorMsg);
        Mesh->Clear();  // a failed read may have left part of a model behind
        FailLoad(error, "Error: " + error);
        return;
    }
    if (!ShowGLWindow()) {
        FailLoad("Could not create OpenGL context.", "Error: OpenGL");
        return;
    }
    std::string aa = Samples >= 1 ? Format("  |  MSAA %dx", Samples) : std::string("  |  AA off");
    SetStatus(Utf8ToAnsi(Mesh->InfoText) + aa + "  [R]Reset  [W]Mode  [+/-]Zoom  [Arrows]Rotate");
    SetFocus(GLWnd);
}

void TViewerForm::LayoutChildren(int width, int height)
{
    constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    int glHeight = height > kStatusBarHeight ? height - kStatusBarHeight : 0;
    if (StatusWnd) {
        SendMessageW(StatusWnd, WM_SIZE, 0, MAKELPARAM(width, height));
        SetWindowPos(StatusWnd, nullptr, 0, height - kStatusBarHeight, width, kStatusBarHeight, kFlags);
    }
    if (ShowsToolpath() && PanelWnd) {
        int panelLeft = width - kPanelWidth;
        if (panelLeft < 1) panelLeft = 1;
        SetWindowPos(PanelWnd, nullptr, panelLeft, 0, kPanelWidth, glHeight, kFlags);
        ShowWindow(PanelWnd, SW_SHOW);
        if (GLWnd) SetWindowPos(GLWnd, nullptr, 0, 0, panelLeft, glHeight, kFlags);
        return;
    }
    if (PanelWnd) ShowWindow(PanelWnd, SW_HIDE);
    if (GLWnd) SetWindowPos(GLWnd, nullptr, 0, 0, width, glHeight, kFlags);
}

// The panel belongs to a toolpath on screen: not while a file loads, nor
// beside the error page of a failed load.
bool TViewerForm::ShowsToolpath() const
{
    return IsGCode && GCode && !ShowSplash && ErrorText.empty();
}

void TViewerForm::SetStatus(const std::string& ansiText)
{
    if (!StatusWnd) return;
    std::wstring text = AnsiToWide(ansiText);
    SendMessageW(StatusWnd, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool TViewerForm::CreateGLContext()
{
    ToolpathCache.Forget();  // lists of an earlier context are gone with it
    const TWGL* wgl = GetWGL();
    if (!wgl || !GLWnd) return false;
    GLDC = TWindowDC(GLWnd);
    if (!GLDC.Get()) return false;
    TMultisampleFormat ms =
        ProbeMultisampleFormat(*wgl, kGLClass, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, nullptr, {8, 4, 2});
    PIXELFORMATDESCRIPTOR pfd = ClassicPixelFormat();
    if (ms.Format && SetPixelFormat(GLDC, ms.Format, &pfd)) {
        if (GLRC.CreateCurrent(*wgl, GLDC)) {
            Samples = ms.Samples;
            return true;
        }
        // The format stays multisampled, but the status line reports none.
        return GLRC.CreateCurrent(*wgl, GLDC);
    }
    int format = ChooseLegacyPixelFormat(*wgl, GLDC, pfd);
    if (format == 0 || !SetPixelFormat(GLDC, format, &pfd)) return false;
    return GLRC.CreateCurrent(*wgl, GLDC);
}

// Frees the lists of the file on screen before the next one is read.
void TViewerForm::ReleaseToolpathLists()
{
    StopListTimer();
    const TWGL* wgl = GetWGL();
    if (ToolpathCache.HasLists() && wgl && GLRC && GLDC.Get() && wgl->MakeCurrent(GLDC, GLRC.Get()))
        ToolpathCache.Release(wgl->GL);
    else
        ToolpathCache.Forget();
}

void TViewerForm::ReleaseGL()
{
    GLRC.Reset();
    if (GLDC.Get() && GLWnd)
        GLDC.Reset();
    else
        GLDC.Forget();  // the window is gone, and its DC with it
}

HWND TViewerForm::ListerWindow() const
{
    return RootWnd ? GetParent(RootWnd) : nullptr;
}

}  // namespace voxaro
