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

// Files of several megabytes are read on several threads inside the DLL. The
// same shapes with every line padded by text the readers ignore: each part
// of the large file holds shapes of its own, and the thumbnails match.
std::string PaddedLines(const std::string& text, const std::string& pad)
{
    std::string out;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start))
        out += text.substr(start, end - start) + pad + "\n";
    return out;
}

TEST(Preview, LargeFilesReadInPartsLookLikeTheirSmallCopies)
{
    // A grid of boxes of different heights, twelve facets each.
    std::string boxes = "solid grid\n";
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (int b = 0; b < 144; ++b) {
        auto corner = [b](int i) {
            return " " + std::to_string(b % 12 * 10 + (i & 1) * 6) + " " +
                   std::to_string(b / 12 * 10 + (i >> 1 & 1) * 6) + " " +
                   std::to_string((i >> 2 & 1) * (2 + b % 7 * 3));
        };
        for (const auto& q : quads)
            for (int t = 0; t < 2; ++t)
                boxes += "facet normal 0 0 0\nouter loop\nvertex" + corner(q[0]) + "\nvertex" + corner(q[t + 1]) +
                         "\nvertex" + corner(q[t + 2]) + "\nendloop\nendfacet\n";
    }
    boxes += "endsolid grid\n";
    // A zigzag of printed lines sweeping across the plate.
    std::string zigzag = "G90\nM83\n;Z:0.2\nG1 Z0.2 F600\n";
    for (int i = 0; i < 16000; ++i)
        zigzag += "G1 X" + std::to_string(i / 80 % 2 ? 10 + i % 80 : 90 - i % 80) + " Y" +
                  std::to_string(10 + i / 200) + " E0.05\n";
    const struct {
        const wchar_t* Name;
        std::string Small, Large;
    } files[] = {{L"grid.stl", boxes, PaddedLines(boxes, " " + std::string(500, 'p'))},
                 {L"zigzag.gcode", zigzag, PaddedLines(zigzag, " ; " + std::string(400, 'p'))}};
    for (const auto& f : files) {
        SCOPED_TRACE(Ansi(f.Name));
        ASSERT_GT(f.Large.size(), size_t(5) << 20);
        TPreview small(WriteTempFile(std::wstring(L"small_") + f.Name, f.Small), 160, 160);
        TPreview large(WriteTempFile(std::wstring(L"large_") + f.Name, f.Large), 160, 160);
        ASSERT_NE(small.Bitmap, nullptr);
        ASSERT_NE(large.Bitmap, nullptr);
        const uint32_t background = small.At(0, 0);
        size_t shape = 0, differ = 0;
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 160; ++x) {
                shape += small.At(x, y) != background;
                differ += small.At(x, y) != large.At(x, y);
            }
        EXPECT_GT(shape, 2000u);
        EXPECT_EQ(differ, 0u);
    }
}

}  // namespace
}  // namespace voxaro::wine
