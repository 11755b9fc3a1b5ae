// The G-code side panel: camera presets, layer and line-width sliders, the
// display check boxes and a short summary of the toolpath. The drawing reads
// the check boxes straight from the controls on every frame.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gcode_summary.h"
#include "module.h"
#include "text_convert.h"
#include "viewer_form.h"

namespace voxaro {

namespace {

constexpr int kIdLayerSlider = 4097, kIdWidthSlider = 4098;
constexpr int kIdTravel = 4099, kIdPrint = 4100, kIdColorByLayer = 4101, kIdSupport = 4102, kIdLighting = 4103,
              kIdAxes = 4104, kIdEdges = 4105;
constexpr int kIdReset = 4112, kIdTop = 4113, kIdFront = 4114, kIdSide = 4115;
constexpr COLORREF kPanelBackground = RGB(90, 64, 64);
constexpr int kLeft = 8, kWide = 180, kRow = 18;

// InitCommonControlsEx, looked up once per process; null without comctl32.
using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
InitCommonControlsExFn CommonControlsInit()
{
    static const InitCommonControlsExFn fn = [] {
        HMODULE comctl = LoadLibraryW(L"comctl32.dll");  // stays loaded: its classes outlive the panel
        return comctl ? reinterpret_cast<InitCommonControlsExFn>(
                            reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")))
                      : nullptr;
    }();
    return fn;
}

std::string Printf(const char* fmt, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

std::string LayerText(int32_t layerSel)
{
    return layerSel < 0 ? std::string("Layer: all") : "Layer: " + std::to_string(layerSel);
}

// Layer limit for slider position p with h = highest layer: 0 shows all.
int32_t LayerSelFor(LRESULT position, int32_t layerCount)
{
    if (position <= 0) return -1;
    int32_t h = std::max(layerCount - 1, 0);
    int64_t sel = static_cast<int64_t>(h) - position + 1;
    return static_cast<int32_t>(std::clamp<int64_t>(sel, 0, h));
}

}  // namespace

void TViewerForm::SetPanelText(HWND control, const std::string& text)
{
    if (control) SetWindowTextW(control, AnsiToWide(text).c_str());
}

void TViewerForm::CreateGCodePanel()
{
    if (PanelWnd) return;
    if (InitCommonControlsExFn init = CommonControlsInit()) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
        init(&icc);
    }
    PanelFont.Reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Segoe UI"));
    PanelWnd =
        CreateWindowExW(0, kPanelClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, kPanelWidth, 600,
                        RootWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPanelId)), PluginInstance(), nullptr);
    if (!PanelWnd) return;  // the view works on without a panel
    PanelBrush.Reset(CreateSolidBrush(kPanelBackground));
    SetWindowLongPtrW(PanelWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    auto control = [&](const wchar_t* cls, const wchar_t* text, int id, int x, int y, int w, int h, DWORD style) {
        HWND wnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, PanelWnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), PluginInstance(), nullptr);
        if (wnd && PanelFont) SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(PanelFont.Get()), TRUE);
        return wnd;
    };
    auto checkBox = [&](const wchar_t* text, int id, int y, bool checked) {
        HWND wnd = control(L"BUTTON", text, id, kLeft, y, kWide, kRow, BS_AUTOCHECKBOX);
        if (wnd && checked) SendMessageW(wnd, BM_SETCHECK, BST_CHECKED, 0);
        return wnd;
    };
    auto slider = [&](int id, int y, int low, int high, int position) {
        HWND wnd = control(TRACKBAR_CLASSW, L"", id, kLeft, y, kWide, 26, TBS_HORZ | TBS_NOTICKS);
        if (wnd) {
            SendMessageW(wnd, TBM_SETRANGE, TRUE, MAKELPARAM(low, high));
            SendMessageW(wnd, TBM_SETPOS, TRUE, position);
        }
        return wnd;
    };
    BtnReset = control(L"BUTTON", L"Reset", kIdReset, 8, 8, 42, 22, BS_PUSHBUTTON);
    BtnTop = control(L"BUTTON", L"Top", kIdTop, 54, 8, 42, 22, BS_PUSHBUTTON);
    BtnFront = control(L"BUTTON", L"Front", kIdFront, 100, 8, 42, 22, BS_PUSHBUTTON);
    BtnSide = control(L"BUTTON", L"Side", kIdSide, 146, 8, 42, 22, BS_PUSHBUTTON);
    LblLayer = control(L"STATIC", L"Layer: all", 0, kLeft, 38, kWide, kRow, SS_LEFT);
    TrkLayer = slider(kIdLayerSlider, 58, 0, 1, 0);
    control(L"STATIC", L"Display:", 0, kLeft, 98, kWide, kRow, SS_LEFT);
    ChkTravel = checkBox(L"Show travel", kIdTravel, 118, false);
    ChkPrint = checkBox(L"Show print", kIdPrint, 142, true);
    ChkColorByLayer = checkBox(L"Color by layer", kIdColorByLayer, 166, false);
    ChkSupport = checkBox(L"Show support", kIdSupport, 190, false);
    ChkLighting = checkBox(L"Lighting", kIdLighting, 214, true);
    ChkAxes = checkBox(L"Axes", kIdAxes, 238, false);
    ChkEdges = checkBox(L"Edges", kIdEdges, 262, false);
    LblLineWidth = control(L"STATIC", L"Line width: 0.40 mm", 0, kLeft, 298, kWide, kRow, SS_LEFT);
    TrkLineWidth = slider(kIdWidthSlider, 318, 1, 40, 4);
    // Five lines of counts and extents, and room for a note of an incomplete load.
    LblInfo = control(L"STATIC", L"", 0, kLeft, 362, kWide, 8 * kRow + 4, SS_LEFT);
}

// Layer label and limit from the slider's position (range left alone).
void TViewerForm::ApplyLayerSlider()
{
    if (!GCode || !TrkLayer) return;
    LayerSel = LayerSelFor(SendMessageW(TrkLayer, TBM_GETPOS, 0, 0), GCode->LayerCount);
    SetPanelText(LblLayer, LayerText(LayerSel));
}

void TViewerForm::ApplyWidthSlider()
{
    if (!TrkLineWidth) return;
    LineWidth = static_cast<double>(SendMessageW(TrkLineWidth, TBM_GETPOS, 0, 0)) * 0.1;
    SetPanelText(LblLineWidth, Printf("Line width: %.2f mm", LineWidth));
}

void TViewerForm::UpdateGCodePanel()
{
    if (!PanelWnd || !GCode) return;
    // Minimum and maximum apart: a packed range would stop at 65535 layers.
    SendMessageW(TrkLayer, TBM_SETRANGEMIN, FALSE, 0);
    SendMessageW(TrkLayer, TBM_SETRANGEMAX, TRUE, GCode->LayerCount);
    ApplyLayerSlider();
    long v = std::clamp(std::lround(LineWidth * 10.0), 1L, 40L);
    SendMessageW(TrkLineWidth, TBM_SETPOS, TRUE, v);
    ApplyWidthSlider();
    SetPanelText(LblInfo, GCodePanelInfo(*GCode));
}

void TViewerForm::OnPanelCommand(WPARAM wp)
{
    switch (LOWORD(wp)) {
    case kIdReset:
        FitGCodeCamera(GCodeCam, GCode.get());
        ResetGCodeAngles(GCodeCam);
        break;
    case kIdTop: GCodePresetTop(GCodeCam); break;
    case kIdFront: GCodePresetFront(GCodeCam); break;
    case kIdSide: GCodePresetSide(GCodeCam); break;
    default: break;  // a check box: the next frame reads it
    }
    RepaintGL();
}

LRESULT TViewerForm::GCodePanelProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: {
        TPaint paint(PanelWnd);  // the controls paint themselves
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT rc{};
        GetClientRect(PanelWnd, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, PanelBrush);
        return 1;
    }
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) OnPanelCommand(wp);
        return 0;
    case WM_HSCROLL: {
        int id = lp ? GetDlgCtrlID(reinterpret_cast<HWND>(lp)) : 0;
        if (id == kIdLayerSlider)
            ApplyLayerSlider();
        else if (id == kIdWidthSlider)
            ApplyWidthSlider();
        else
            return 0;
        RepaintGL();
        return 0;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, DarkMode ? RGB(204, 224, 240) : RGB(240, 224, 224));
        SetBkColor(dc, kPanelBackground);
        return reinterpret_cast<LRESULT>(PanelBrush.Get());
    }
    default: return DefWindowProcW(PanelWnd, msg, wp, lp);
    }
}

bool IsChecked(HWND control)
{
    return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace voxaro
