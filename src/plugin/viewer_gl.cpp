// The GL window: painting, and keyboard and mouse input routed to the
// camera rules.
#include <windowsx.h>

#include <utility>
#include <vector>

#include "gcode_renderer.h"
#include "mesh_renderer.h"
#include "viewer_form.h"

namespace voxaro {

namespace {

const TGLApi* CurrentGL(const TWindowDC& dc, const TGLContext& rc)
{
    const TWGL* wgl = GetWGL();
    if (!wgl || !rc || !dc.Get() || !wgl->MakeCurrent(dc, rc.Get())) return nullptr;
    return &wgl->GL;
}

SIZE ClientSize(HWND wnd)
{
    RECT rc{};
    GetClientRect(wnd, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// Display lists for the toolpath are compiled on a timer after a frame, a
// slice at a time: timer messages wait for an empty queue, so input and
// painting go first.
constexpr UINT_PTR kListTimer = 1;
constexpr UINT kListTimerMs = 10;
constexpr double kListSliceSeconds = 0.03;

// The G-code frame the viewer's state and panel describe.
TGCodeFrame ViewerFrame(TViewerForm& v, SIZE size)
{
    TGCodeFrame frame;
    frame.Parser = v.GCode.get();
    frame.Camera = v.GCodeCam;
    frame.Options = {IsChecked(v.ChkTravel),  IsChecked(v.ChkPrint),    IsChecked(v.ChkColorByLayer),
                     IsChecked(v.ChkSupport), IsChecked(v.ChkLighting), IsChecked(v.ChkAxes),
                     IsChecked(v.ChkEdges)};
    frame.LayerSel = v.LayerSel;
    frame.LineWidth = v.LineWidth;
    frame.Width = size.cx;
    frame.Height = size.cy;
    frame.Cache = &v.ToolpathCache;
    return frame;
}

}  // namespace

void TViewerForm::RepaintGL()
{
    if (GLWnd) InvalidateRect(GLWnd, nullptr, FALSE);
}

void TViewerForm::ResetView()
{
    voxaro::ResetView(MeshCam);
    RepaintGL();
}

void TViewerForm::CycleRenderMode()
{
    RenderMode = NextRenderMode(RenderMode);
    RepaintGL();
}

// The context made current with its fixed state set up, or null.
const TGLApi* TViewerForm::PrepareGL()
{
    const TGLApi* gl = CurrentGL(GLDC, GLRC);
    if (gl && !GLReady) {
        InitGLState(*gl, Samples);
        GLReady = true;
    }
    return gl;
}

bool TViewerForm::DrawMesh()
{
    if (!Mesh || Mesh->VertexCount == 0 || !GLWnd) return false;
    SIZE size = ClientSize(GLWnd);
    if (size.cx <= 0 || size.cy <= 0) return false;
    const TGLApi* gl = PrepareGL();
    if (!gl) return false;
    DrawMeshFrame(*gl, *Mesh, MeshCam, RenderMode, DarkMode, size.cx, size.cy);
    return true;
}

bool TViewerForm::DrawGCode()
{
    if (!GCode || GCode->MoveCount == 0 || !GLWnd) return false;
    SIZE size = ClientSize(GLWnd);
    if (size.cx <= 0 || size.cy <= 0) return false;
    const TGLApi* gl = PrepareGL();
    if (!gl || !DrawGCodeFrame(*gl, ViewerFrame(*this, size))) return false;
    if (ToolpathCache.HasPending()) SetTimer(GLWnd, kListTimer, kListTimerMs, nullptr);
    return true;
}

void TViewerForm::StopListTimer()
{
    if (GLWnd) KillTimer(GLWnd, kListTimer);
}

void TViewerForm::OnListTimer()
{
    const TGLApi* gl = IsGCode && GCode ? PrepareGL() : nullptr;
    if (!gl || !CompileGCodeLists(*gl, ViewerFrame(*this, ClientSize(GLWnd)), kListSliceSeconds)) StopListTimer();
}

void TViewerForm::RenderMesh()
{
    if (DrawMesh()) SwapBuffers(GLDC);
}

void TViewerForm::RenderGCode()
{
    if (DrawGCode()) SwapBuffers(GLDC);
}

void TViewerForm::OnPaintGL()
{
    ValidateRect(GLWnd, nullptr);
    if (IsGCode)
        RenderGCode();
    else
        RenderMesh();
}

// WM_PRINTCLIENT: draws the current frame and copies it from the back buffer
// into the caller's DC, so PrintWindow and screenshot tools see the model.
void TViewerForm::PrintClient(HDC target)
{
    if (!(IsGCode ? DrawGCode() : DrawMesh())) return;
    SIZE size = ClientSize(GLWnd);
    std::vector<uint8_t> pixels(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy) * 4);
    const TGLApi& gl = GetWGL()->GL;
    gl.PixelStorei(gl::PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, size.cx, size.cy, gl::RGBA, gl::UNSIGNED_BYTE, pixels.data());
    for (size_t i = 0; i < pixels.size(); i += 4)
        std::swap(pixels[i], pixels[i + 2]);  // RGBA to BGRA
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = size.cx;
    bi.bmiHeader.biHeight = size.cy;  // bottom-up, like GL rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    SetDIBitsToDevice(target, 0, 0, static_cast<DWORD>(size.cx), static_cast<DWORD>(size.cy), 0, 0, 0,
                      static_cast<UINT>(size.cy), pixels.data(), &bi, DIB_RGB_COLORS);
}

void TViewerForm::OnSize()
{
    if (GLReady && GLRC) {
        if (const TGLApi* gl = CurrentGL(GLDC, GLRC)) {
            SIZE size = ClientSize(GLWnd);
            gl->Viewport(0, 0, size.cx, size.cy);
        }
    }
    RepaintGL();
}

void TViewerForm::OnKeyDown(WPARAM wp, LPARAM lp)
{
    auto vk = static_cast<uint32_t>(wp & 0xFFFF);
    TKeyResult result = IsGCode ? GCodeKeyDown(GCodeCam, GCode.get(), vk) : MeshKeyDown(MeshCam, RenderMode, vk);
    if (result == TKeyResult::ForwardToLister)
        PostMessageW(ListerWindow(), WM_KEYDOWN, wp, lp);
    else if (result == TKeyResult::Repaint)
        RepaintGL();
}

void TViewerForm::OnMouseMove(LPARAM lp)
{
    int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    bool repaint = IsGCode ? GCodeMouseMove(GCodeCam, Drag, x, y, ClientSize(GLWnd).cy)
                           : MeshMouseMove(MeshCam, Drag, x, y, Mesh ? &Mesh->Radius : nullptr);
    if (repaint) RepaintGL();
}

void TViewerForm::OnWheel(WPARAM wp)
{
    int delta = GET_WHEEL_DELTA_WPARAM(wp);
    if (IsGCode)
        GCodeWheel(GCodeCam, delta);
    else
        MeshWheel(MeshCam, delta);
    RepaintGL();
}

LRESULT TViewerForm::GLMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_DESTROY:
        SetWindowLongPtrW(GLWnd, GWLP_USERDATA, 0);
        GLWnd.Forget();
        return 0;
    case WM_SIZE: OnSize(); return 0;
    case WM_PAINT: OnPaintGL(); return 0;
    case WM_PRINTCLIENT: PrintClient(reinterpret_cast<HDC>(wp)); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_TIMER:
        if (wp == kListTimer) OnListTimer();
        return 0;
    case WM_MOUSEACTIVATE: SetFocus(GLWnd); return MA_ACTIVATE;
    case WM_KEYDOWN: OnKeyDown(wp, lp); return 0;
    case WM_MOUSEMOVE: OnMouseMove(lp); return 0;
    case WM_LBUTTONDOWN:
        Drag.LastX = GET_X_LPARAM(lp);
        Drag.LastY = GET_Y_LPARAM(lp);
        Drag.LeftDrag = true;
        SetCapture(GLWnd);
        SetFocus(GLWnd);
        return 0;
    case WM_LBUTTONUP:
        Drag.LeftDrag = false;
        ReleaseCapture();
        return 0;
    case WM_LBUTTONDBLCLK: OnKeyDown('R', 0); return 0;
    case WM_RBUTTONDOWN:
        Drag.LastX = GET_X_LPARAM(lp);
        Drag.LastY = GET_Y_LPARAM(lp);
        Drag.RightDrag = true;
        SetCapture(GLWnd);
        return 0;
    case WM_RBUTTONUP:
        Drag.RightDrag = false;
        ReleaseCapture();
        return 0;
    case WM_MOUSEWHEEL: OnWheel(wp); return 0;
    default: return DefWindowProcW(GLWnd, msg, wp, lp);
    }
}

}  // namespace voxaro
