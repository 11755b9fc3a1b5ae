// The two GDI pages of the root window: the splash page shown while a file
// loads, and the error page shown when it failed.
#include <cmath>

#include "text_convert.h"
#include "viewer_form.h"

namespace voxaro {

namespace {

struct TSplashColors {
    COLORREF Background, Heavy, Light, Title, Subtitle, Status;
};
constexpr TSplashColors kSplashLight = {RGB(238, 242, 248), RGB(32, 88, 152), RGB(176, 80, 0),
                                        RGB(24, 24, 32),    RGB(96, 96, 104), RGB(176, 80, 0)};
constexpr TSplashColors kSplashDark = {RGB(20, 24, 32),    RGB(96, 200, 255),  RGB(200, 120, 50),
                                       RGB(232, 232, 240), RGB(144, 144, 152), RGB(200, 120, 50)};

// Corners of the cube icon in units of its size; y points up.
constexpr double kCubeX[8] = {0, 1, 1, 0, 0.3, 1.3, 1.3, 0.3};
constexpr double kCubeY[8] = {0, 0, 1, 1, 0.35, 0.35, 1.35, 1.35};
constexpr int kHeavyEdges[8][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}};
constexpr int kLightEdges[4][2] = {{0, 4}, {1, 5}, {2, 6}, {3, 7}};

HFONT MakeFont(int height, int weight)
{
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FF_SWISS | DEFAULT_PITCH, L"Segoe UI");
}

void FillBackground(HDC dc, int width, int height, COLORREF color)
{
    TUniqueBrush brush(CreateSolidBrush(color));
    RECT rc = {0, 0, width, height};
    FillRect(dc, &rc, brush);
}

void DrawCube(HDC dc, int cx, int cy, int width, int height, const TSplashColors& colors)
{
    double s = (width < height ? width : height) * 0.22;
    double ox = cx - 0.8 * s, oy = cy - 0.73 * s;
    POINT corner[8];
    for (int k = 0; k < 8; ++k) {
        corner[k].x = static_cast<LONG>(std::lround(kCubeX[k] * s + ox));
        corner[k].y = static_cast<LONG>(std::lround((1 - kCubeY[k]) * s + oy));
    }
    auto line = [&](int a, int b) {
        MoveToEx(dc, corner[a].x, corner[a].y, nullptr);
        LineTo(dc, corner[b].x, corner[b].y);
    };
    TUniquePen heavy(CreatePen(PS_SOLID, 2, colors.Heavy));
    TUniquePen light(CreatePen(PS_SOLID, 1, colors.Light));
    {
        TSelectObject use(dc, heavy);
        for (const auto& e : kHeavyEdges)
            line(e[0], e[1]);
    }
    TSelectObject use(dc, light);
    for (const auto& e : kLightEdges)
        line(e[0], e[1]);
    MoveToEx(dc, cx - 80, cy + 50, nullptr);  // the rule under the picture
    LineTo(dc, cx + 80, cy + 50);
}

void PaintText(HDC dc, HFONT font, COLORREF color, int x, int y, const std::wstring& text)
{
    TSelectObject use(dc, font);
    SetTextColor(dc, color);
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

void TViewerForm::PaintSplash(HDC dc, int width, int height)
{
    const TSplashColors& colors = DarkMode ? kSplashDark : kSplashLight;
    int cx = width / 2, cy = height / 2;
    FillBackground(dc, width, height, colors.Background);
    DrawCube(dc, cx, cy, width, height, colors);
    SetBkMode(dc, TRANSPARENT);
    TUniqueFont title(MakeFont(-18, FW_BOLD));
    TUniqueFont small(MakeFont(-9, FW_NORMAL));
    PaintText(dc, title, colors.Title, cx - 10, cy - 44, L"Voxaro");
    PaintText(dc, small, colors.Subtitle, cx - 8, cy + 4, L"Total Commander Lister Plugin");
    PaintText(dc, small, colors.Status, cx - 80, cy + 66, AnsiToWide(StatusText));
}

void TViewerForm::PaintError(HDC dc, int width, int height)
{
    FillBackground(dc, width, height, DarkMode ? RGB(28, 16, 16) : RGB(240, 220, 220));
    TUniqueFont font(MakeFont(-10, FW_NORMAL));
    TSelectObject use(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, DarkMode ? RGB(255, 140, 100) : RGB(160, 32, 16));
    std::wstring text = L"Error: " + AnsiToWide(ErrorText);
    RECT rc = {8, 8, width - 8, height - 8};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_WORDBREAK);
}

// The page the root shows: the splash while a file loads, the error page
// after a failure, and nothing (the GL window covers it) otherwise. Drawn on
// WM_PAINT and, for PrintWindow and screenshots, on WM_PRINTCLIENT.
void TViewerForm::PaintPage(HDC dc)
{
    RECT rc{};
    GetClientRect(RootWnd, &rc);
    if (ShowSplash && ErrorText.empty())
        PaintSplash(dc, rc.right, rc.bottom);
    else if (!ErrorText.empty())
        PaintError(dc, rc.right, rc.bottom);
}

LRESULT TViewerForm::RootMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_DESTROY:
        SetWindowLongPtrW(RootWnd, GWLP_USERDATA, 0);
        RootWnd.Forget();
        return 0;
    case WM_SIZE: LayoutChildren(LOWORD(lp), HIWORD(lp)); return 0;
    case WM_PAINT: {
        TPaint paint(RootWnd);
        PaintPage(paint.DC());
        return 0;
    }
    case WM_PRINTCLIENT: PaintPage(reinterpret_cast<HDC>(wp)); return 0;
    case WM_ERASEBKGND: return 1;
    default: return DefWindowProcW(RootWnd, msg, wp, lp);
    }
}

}  // namespace voxaro
