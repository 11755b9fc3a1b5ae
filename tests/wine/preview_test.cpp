// Thumbnails through ListGetPreviewBitmap of the real DLL.
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "plugin_fixture.h"

namespace voxaro::wine {
namespace {

// The bitmap's section and its pixel at (x, y) counted from the top left.
struct TPreview {
    HBITMAP Bitmap = nullptr;
    DIBSECTION Dib{};

    explicit TPreview(const std::wstring& file, int w, int h)
    {
        std::string name = Ansi(file);
        Bitmap = Plugin().ListGetPreviewBitmap(name.data(), w, h, nullptr, 0);
        if (Bitmap) GetObjectW(Bitmap, sizeof Dib, &Dib);
    }
    ~TPreview()
    {
        if (Bitmap) DeleteObject(Bitmap);
    }
    TPreview(const TPreview&) = delete;
    TPreview& operator=(const TPreview&) = delete;

    int Width() const { return Dib.dsBm.bmWidth; }
    int Height() const { return Dib.dsBm.bmHeight; }
    uint32_t At(int x, int y) const
    {
        const auto* row = static_cast<const uint8_t*>(Dib.dsBm.bmBits) +
                          static_cast<size_t>(Height() - 1 - y) * Dib.dsBm.bmWidthBytes;  // bottom-up
        const uint8_t* p = row + 3 * x;
        return Rgb(p[2], p[1], p[0]);
    }
    size_t CountWhere(bool (*test)(uint32_t)) const
    {
        size_t n = 0;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x)
                n += test(At(x, y));
        return n;
    }
};

constexpr uint32_t kMeshThumbBackground = Rgb(209, 214, 224);  // 0.82, 0.84, 0.88
constexpr uint32_t kGCodeThumbBackground = Rgb(10, 10, 15);    // 0.04, 0.04, 0.06

bool IsOrange(uint32_t p)
{
    int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r > 90 && g > r * 0.35 && g < r * 0.75 && b < r * 0.15;
}

void ExpectNoThumbnailWindows()
{
    EXPECT_EQ(FindWindowW(L"3MFThumb", nullptr), nullptr);
    EXPECT_EQ(FindWindowW(L"3MFThumbGC", nullptr), nullptr);
}

TEST(Preview, MeshThumbnailIsABottomUp24BitSection)
{
    TPreview p(Gear(), 100, 100);
    ASSERT_NE(p.Bitmap, nullptr);
    EXPECT_EQ(p.Width(), 100);
    EXPECT_EQ(p.Height(), 100);
    EXPECT_EQ(p.Dib.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(p.Dib.dsBm.bmWidthBytes, 300);
    EXPECT_GT(p.Dib.dsBmih.biHeight, 0) << "rows run bottom-up";
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 99}, {99, 99}})
        EXPECT_TRUE(Near(p.At(x, y), kMeshThumbBackground, 2)) << x << "," << y << std::hex << " " << p.At(x, y);
    size_t model = p.CountWhere([](uint32_t c) { return !Near(c, kMeshThumbBackground, 6); });
    EXPECT_GT(model, 1500u) << "the gear fills a good part of the picture";
    ExpectNoThumbnailWindows();

    TPreview odd(Gear(), 99, 10);
    ASSERT_NE(odd.Bitmap, nullptr);
    EXPECT_EQ(odd.Dib.dsBm.bmWidthBytes, 300) << "297 bytes padded to a multiple of 4";
}

TEST(Preview, GCodeThumbnailShowsThePrint)
{
    std::wstring lower = WriteTempFile(L"slice lower case.gcode", ReadFileBytes(Slice()));
    TPreview p(lower, 128, 96);
    ASSERT_NE(p.Bitmap, nullptr);
    EXPECT_EQ(p.Width(), 128);
    EXPECT_EQ(p.Height(), 96);
    EXPECT_TRUE(Near(p.At(0, 0), kGCodeThumbBackground, 2)) << std::hex << p.At(0, 0);
    EXPECT_GT(p.CountWhere(IsOrange), 200u);
    ExpectNoThumbnailWindows();
}

TEST(Preview, RefusalsGiveNoBitmap)
{
    std::wstring commentsOnly = WriteTempFile(L"comments.gcode", "; nothing here\n");
    std::wstring travelOnly = WriteTempFile(L"travel.gcode", "G0 X10 Y10\nG0 X20 Y30\n");
    struct Row {
        std::wstring File;
        int W, H;
        const char* Why;
    } rows[] = {{commentsOnly, 64, 64, "no moves"},
                {MissingTempFile(L"gone.stl"), 64, 64, "missing model"},
                {MissingTempFile(L"gone.gcode"), 64, 64, "missing toolpath"},
                {Gear(), 96, -1, "negative height"},
                {Slice(), 0, 0, "zero size"}};
    for (const Row& r : rows) {
        TPreview p(r.File, r.W, r.H);
        EXPECT_EQ(p.Bitmap, nullptr) << r.Why;
    }
    // Travel moves only: a picture of the background and the grid, nothing orange.
    TPreview travel(travelOnly, 64, 64);
    ASSERT_NE(travel.Bitmap, nullptr);
    EXPECT_EQ(travel.CountWhere(IsOrange), 0u);
    ExpectNoThumbnailWindows();
}

// The hidden windows of a thumbnail sit off the screen, left of it (models)
// or left of and above it (toolpaths). Their positions were worked out in
// int, and sizes near INT_MAX wrapped them round onto the screen.
struct TCreatedWindow {
    std::wstring Class;
    int64_t X, Y, Width, Height;
};
std::vector<TCreatedWindow>* Created = nullptr;

LRESULT CALLBACK RecordCreation(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_CREATEWND && Created) {
        const CREATESTRUCTW* cs = reinterpret_cast<const CBT_CREATEWNDW*>(lp)->lpcs;
        wchar_t name[64] = {};
        GetClassNameW(reinterpret_cast<HWND>(wp), name, 64);
        Created->push_back({name, cs->x, cs->y, cs->cx, cs->cy});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

TEST(Preview, HugeSizesKeepTheHiddenWindowsOffTheScreen)
{
    std::vector<TCreatedWindow> created;
    Created = &created;
    HHOOK hook = SetWindowsHookExW(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const int big = INT_MAX, half = INT_MAX / 2 + 1;
    for (const std::wstring& file : {Overhang(), Slice()})
        for (auto [w, h] : {std::pair{big, 1}, {1, big}, {half, 2}, {big, big}}) {
            TPreview p(file, w, h);  // whether a bitmap comes back is up to the system
        }
    UnhookWindowsHookEx(hook);
    Created = nullptr;
    size_t thumbnails = 0;
    for (const TCreatedWindow& c : created) {
        if (c.Class != L"3MFThumb" && c.Class != L"3MFThumbGC") continue;
        ++thumbnails;
        EXPECT_TRUE(c.X + c.Width <= 0 || c.Y + c.Height <= 0)
            << "a window of " << c.Width << " x " << c.Height << " at (" << c.X << ", " << c.Y << ")";
    }
    EXPECT_GE(thumbnails, 8u) << "every request makes a window";
    ExpectNoThumbnailWindows();
}

TEST(Preview, ViewerContextStaysCurrent)
{
    TListerWindow lister(320, 240);
    TViewer viewer(lister, Gear());
    CaptureGL(viewer.GL());  // paints, so the viewer's context is current on this thread
    using GetCurrent = HGLRC(WINAPI*)();
    auto current = reinterpret_cast<GetCurrent>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"opengl32.dll"), "wglGetCurrentContext")));
    ASSERT_NE(current, nullptr);
    HGLRC before = current();
    ASSERT_NE(before, nullptr);
    TPreview mesh(Overhang(), 64, 64);
    EXPECT_NE(mesh.Bitmap, nullptr);
    EXPECT_EQ(current(), before);
    TPreview gcode(Slice(), 64, 64);
    EXPECT_NE(gcode.Bitmap, nullptr);
    EXPECT_EQ(current(), before);
    EXPECT_NE(CaptureGL(viewer.GL()).Count(kLightBackground, 2), 0u) << "the viewer still draws";
}

}  // namespace
}  // namespace voxaro::wine
