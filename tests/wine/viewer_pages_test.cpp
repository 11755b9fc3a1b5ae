// What the root window and the status bar show: status lines after loads,
// error texts, and the two GDI pages (splash while loading, error page).
#include "plugin_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace voxaro::wine {
namespace {

// --- expectations derived from the file contents ---------------------------

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string TrimLower(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    std::string t = s.substr(b, e - b);
    for (char& c : t)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return t;
}

// Binary STL: the count at offset 80, valid when the size is 84 + 50 x count.
std::wstring BinaryStlLine(const std::wstring& path)
{
    std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 84) return L"(unreadable)";
    uint32_t n = 0;
    std::memcpy(&n, bytes.data() + 80, 4);
    if (bytes.size() != 84 + 50ull * n) return L"(not binary)";
    return L"STL Binary  |  Triangles: " + std::to_wstring(n) + L"  |  Vertices: " + std::to_wstring(3ull * n);
}

// ASCII STL whose vertex lines are all well formed: capacity 3 per line that
// starts with "facet ", one vertex per "vertex" line up to the capacity.
std::wstring AsciiStlLine(const std::wstring& path)
{
    size_t capacity = 0, vertices = 0;
    std::vector<std::string> lines = Lines(ReadFileBytes(path));
    for (const std::string& l : lines)
        if (TrimLower(l).compare(0, 6, "facet ") == 0) capacity += 3;
    for (const std::string& l : lines)
        if (TrimLower(l).compare(0, 7, "vertex ") == 0 && vertices < capacity) ++vertices;
    return L"STL ASCII  |  Triangles: " + std::to_wstring(vertices / 3) + L"  |  Vertices: " +
           std::to_wstring(vertices);
}

std::wstring MeshStatus(const std::wstring& infoLine)
{
    return infoLine + MeshAaSuffix() + kKeyHelp;
}

// Layers of a G-code file whose layers are all announced by ";Z:" comments:
// the first comment restarts counting, every higher height opens a layer.
int LayersFromZComments(const std::string& text)
{
    bool mode = false;
    int index = 0, count = 1;
    double last = -1e10;
    for (const std::string& l : Lines(text)) {
        if (l.size() <= 2 || l.compare(0, 3, ";Z:") != 0) continue;
        std::string rest = TrimLower(l.substr(3));
        char* end = nullptr;
        double h = std::strtod(rest.c_str(), &end);
        if (rest.empty() || *end) continue;
        if (!mode) {
            mode = true;
            index = 0;
            count = 1;
            last = -1e10;
        }
        if (h > last + 0.001) {
            ++index;
            count = std::max(count, index + 1);
            last = h;
        }
    }
    return count;
}

// Lines that may hold a move: G0 to G3, or a bare axis word.
int PossibleMoves(const std::string& text)
{
    int n = 0;
    for (const std::string& l : Lines(text)) {
        std::string t = TrimLower(l);
        if (t.size() >= 2 && t[0] == 'g' && t[1] >= '0' && t[1] <= '3' &&
            (t.size() == 2 || !std::isdigit(static_cast<unsigned char>(t[2]))))
            ++n;
        else if (!t.empty() && (t[0] == 'x' || t[0] == 'y' || t[0] == 'z'))
            ++n;
    }
    return n;
}

// Five moves; Z 0.2 and Z 0.4 open layers 1 and 2. The retraction, G28, G92
// and the comment add no move.
const char kTinyGCode[] = "; tiny toolpath\n"
                          "G28\n"
                          "G90\n"
                          "G92 E0\n"
                          "G1 Z0.2 F600\n"
                          "G1 X10 Y0 E1\n"
                          "G1 X10 Y10 E2\n"
                          "G1 E1.5\n"
                          "G1 Z0.4\n"
                          "G1 X0 Y10 E3\n";
const wchar_t kTinyGCodeLine[] = L"GCode  |  Moves: 5  |  Layers: 3";

std::string BinaryStlBytes(uint32_t count, size_t records, size_t extra = 0)
{
    std::string bytes(80, 'h');
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    bytes.append(50 * records + extra, '\0');
    return bytes;
}

// --- status lines ----------------------------------------------------------

TEST(ViewerPages, MeshStatusLines)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Gear());
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_EQ(viewer.Status(), MeshStatus(BinaryStlLine(Gear())));

    ASSERT_EQ(viewer.Reload(Overhang()), 0);
    EXPECT_EQ(viewer.Status(), MeshStatus(AsciiStlLine(Overhang())));
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));

    // A binary file whose header starts with "solid" and whose size matches is binary.
    std::string solid = BinaryStlBytes(1, 1);
    std::memcpy(solid.data(), "solid cube", 10);
    std::wstring solidPath = WriteTempFile(L"solid-header.stl", solid);
    ASSERT_EQ(viewer.Reload(solidPath), 0);
    EXPECT_EQ(viewer.Status(), MeshStatus(L"STL Binary  |  Triangles: 1  |  Vertices: 3"));

    // Upper-case keywords, tabs and exponents.
    std::wstring upper =
        WriteTempFile(L"upper.STL", "SOLID t\nFACET NORMAL 0 0 1\n\tOUTER LOOP\nVERTEX 0 0 0\nVERTEX\t1.5E+01 0 0\n"
                                    "VERTEX 0 1e1 0\nENDLOOP\nENDFACET\nENDSOLID t\n");
    ASSERT_EQ(viewer.Reload(upper), 0);
    EXPECT_EQ(viewer.Status(), MeshStatus(L"STL ASCII  |  Triangles: 1  |  Vertices: 3"));
}

TEST(ViewerPages, GCodeStatusLines)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    ASSERT_NE(viewer.Root(), nullptr);
    std::wstring status = viewer.Status();
    std::wsmatch m;
    ASSERT_TRUE(std::regex_match(status, m, std::wregex(L"GCode  \\|  Moves: ([0-9]+)  \\|  Layers: ([0-9]+)(.*)")))
        << status;
    std::string text = ReadFileBytes(Slice());
    int moves = std::stoi(m[1].str()), layers = std::stoi(m[2].str());
    EXPECT_GT(moves, 0);
    EXPECT_LE(moves, PossibleMoves(text));
    EXPECT_GT(layers, 1);
    EXPECT_EQ(layers, LayersFromZComments(text));
    EXPECT_EQ(m[3].str(), GCodeAaSuffix());
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));

    // All six G-code extensions, in any letter case, whatever the content.
    for (const wchar_t* name :
         {L"tiny.gcode", L"tiny.GCO", L"tiny.nc", L"tiny.Ngc", L"tiny.g", L"tiny.TAP", L"tiny.tap"}) {
        SCOPED_TRACE(::testing::Message() << name);
        ASSERT_EQ(viewer.Reload(WriteTempFile(name, kTinyGCode)), 0);
        EXPECT_EQ(viewer.Status(), kTinyGCodeLine + GCodeAaSuffix());
        EXPECT_TRUE(IsWindowVisible(viewer.GL()));
    }

    // A file without moves loads: no moves, one layer.
    for (const auto& [name, text] :
         {std::pair{L"comments.gcode", "; only a comment\n;TYPE:Skirt\n"}, {L"empty.gcode", ""}}) {
        SCOPED_TRACE(::testing::Message() << name);
        ASSERT_EQ(viewer.Reload(WriteTempFile(name, text)), 0);
        EXPECT_EQ(viewer.Status(), L"GCode  |  Moves: 0  |  Layers: 1" + GCodeAaSuffix());
    }

    // G-code content under a model extension goes to the model readers.
    ASSERT_EQ(viewer.Reload(WriteTempFile(L"tiny-gcode.stl", kTinyGCode)), 0);
    EXPECT_EQ(viewer.Status(), L"Error: ASCII-STL: No triangles found.");
    EXPECT_FALSE(IsWindowVisible(viewer.GL()));
}

TEST(ViewerPages, ReaderErrorTexts)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, MissingTempFile(L"missing.stl"));
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_EQ(viewer.Status(), L"Error: STL: Cannot open file (error 2)");
    EXPECT_FALSE(IsWindowVisible(viewer.GL()));

    struct TCase {
        const wchar_t* What;
        std::wstring File;
        const wchar_t* Status;
    };
    const TCase cases[] = {
        {L"missing folder", MissingTempFile(L"no-such-folder") + L"\\model.stl",
         L"Error: STL: Cannot open file (error 3)"},
        {L"0 bytes", WriteTempFile(L"empty.stl", ""), L"Error: STL: Header missing."},
        {L"50 bytes", WriteTempFile(L"50.stl", std::string(50, 's')), L"Error: STL: Header missing."},
        {L"83 bytes", WriteTempFile(L"83.stl", std::string(83, 's')), L"Error: STL: Missing triangle count."},
        {L"84 bytes, count 0", WriteTempFile(L"84.stl", BinaryStlBytes(0, 0)),
         L"Error: STL Binary: No triangles found."},
        {L"one byte more than binary", WriteTempFile(L"85.stl", BinaryStlBytes(1, 1, 1)),
         L"Error: ASCII-STL: No triangles found."},
        {L"missing G-code", MissingTempFile(L"missing.gcode"), L"Error: GCode: Failed to parse missing.gcode"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.What);
        // From a shown model each time: a failure hides the GL window again.
        ASSERT_EQ(viewer.Reload(Gear()), 0);
        ASSERT_TRUE(IsWindowVisible(viewer.GL()));
        EXPECT_EQ(viewer.Reload(c.File), 0) << "file-level failures are not reported to the host";
        EXPECT_EQ(viewer.Status(), c.Status);
        EXPECT_FALSE(IsWindowVisible(viewer.GL()));
    }
}

// A file another program holds open for writing, and a folder, cannot be
// opened for reading: the system's error code is shown for the file, words
// for the folder (the code, access denied, would not say why).
TEST(ViewerPages, LockedFilesAndFoldersShowTheSystemError)
{
    TListerWindow lister(400, 300);
    std::wstring locked = WriteTempFile(L"locked.stl", ReadFileBytes(Gear()));
    HANDLE writer = CreateFileW(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    {
        TViewer viewer(lister, locked);
        EXPECT_EQ(viewer.Status(), L"Error: STL: Cannot open file (error 32)") << "sharing violation";
    }
    CloseHandle(writer);
    TViewer viewer(lister, locked);
    EXPECT_TRUE(StartsWith(viewer.Status(), L"STL Binary  |  Triangles: 1304")) << "readable again once released";

    std::wstring folder = MissingTempFile(L"a folder.stl");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(viewer.Reload(folder), 0);
    EXPECT_EQ(viewer.Status(), L"Error: STL: Cannot open file (a folder)") << "not the bare access denied";
    RemoveDirectoryW(folder.c_str());
}

TEST(ViewerPages, NonAsciiFileNames)
{
    TListerWindow lister(640, 480);
    std::wstring copy = WriteTempFile(L"zahnrad_\u00fc_\u9f7f\u8f6e.stl", ReadFileBytes(Gear()));
    TViewer viewer(lister, copy);
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_EQ(viewer.Status(), MeshStatus(BinaryStlLine(Gear())));
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));

    // The error text holds the name in the ANSI code page.
    std::wstring missing = MissingTempFile(L"fehlt_\u00f6_\u6a21\u578b.gcode");
    ASSERT_EQ(viewer.Reload(missing), 0);
    EXPECT_EQ(viewer.Status(), L"Error: GCode: Failed to parse " + AnsiRoundTrip(FileNameOnly(missing)));

    // The ANSI entry points with a name the code page holds.
    std::wstring latin = WriteTempFile(L"zahnrad_\u00e4.stl", ReadFileBytes(Gear()));
    if (AnsiRoundTrip(latin) != latin) GTEST_SKIP() << "the ANSI code page cannot hold the name";
    std::string ansi = Ansi(latin);
    ASSERT_EQ(viewer.Reload(MissingTempFile(L"x.stl")), 0);
    EXPECT_EQ(Plugin().ListLoadNext(lister.Handle(), viewer.Root(), ansi.data(), 0), 0);
    EXPECT_EQ(viewer.Status(), MeshStatus(BinaryStlLine(Gear())));
    TListerWindow second(320, 240);
    HWND root = Plugin().ListLoad(second.Handle(), ansi.data(), 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(StatusText(root), MeshStatus(BinaryStlLine(Gear())));
    Plugin().ListCloseWindow(root);
}

// --- reference pages -------------------------------------------------------
//
// The pages are plain GDI drawing, so the test paints the expected page with
// the same calls into a bitmap and compares it with the root's pixels.

HFONT PageFont(int height, int weight)
{
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FF_SWISS | DEFAULT_PITCH, L"Segoe UI");
}

COLORREF Ref(uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void Fill(HDC dc, int w, int h, uint32_t colour)
{
    HBRUSH brush = CreateSolidBrush(Ref(colour));
    RECT rc = {0, 0, w, h};
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
}

void Text(HDC dc, HFONT font, uint32_t colour, int x, int y, const std::wstring& text)
{
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, Ref(colour));
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    SelectObject(dc, old);
}

// Rows above the status bar that differ between two pages.
size_t PageDiff(const TImage& actual, const TImage& expected)
{
    if (actual.Width != expected.Width || actual.Height != expected.Height) return SIZE_MAX;
    size_t n = 0;
    for (int y = 0; y < actual.Height - kStatusHeight; ++y)
        for (int x = 0; x < actual.Width; ++x)
            n += actual.At(x, y) != expected.At(x, y);
    return n;
}

TImage ExpectedErrorPage(int w, int h, bool dark, const std::wstring& errorText)
{
    return PaintImage(w, h, [&](HDC dc) {
        Fill(dc, w, h, dark ? Rgb(28, 16, 16) : Rgb(240, 220, 220));
        HFONT font = PageFont(-10, FW_NORMAL);
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, dark ? RGB(255, 140, 100) : RGB(160, 32, 16));
        std::wstring text = L"Error: " + errorText;
        RECT rc = {8, 8, w - 8, h - 8};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_WORDBREAK);
        SelectObject(dc, old);
        DeleteObject(font);
    });
}

// --- error page ------------------------------------------------------------

struct TErrorColours {
    uint32_t Background, Text;
};
constexpr TErrorColours kErrorLight = {Rgb(240, 220, 220), Rgb(160, 32, 16)};
constexpr TErrorColours kErrorDark = {Rgb(28, 16, 16), Rgb(255, 140, 100)};

// The error page fills the root above the status bar; its text sits at the
// top left, and nothing else is drawn.
void ExpectErrorPage(HWND root, const TErrorColours& colours, const std::wstring& statusText)
{
    ASSERT_FALSE(IsWindowVisible(GLWindow(root)));
    RedrawWindow(root, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    TImage page = CaptureWindow(root);
    ASSERT_FALSE(page.Empty());
    int w = page.Width, h = page.Height - kStatusHeight;
    const int textBand = 40;  // one line of the 10-pixel font from y = 8
    EXPECT_EQ(page.CountIn(colours.Background, 0, 0, textBand, w, h), static_cast<size_t>(w) * (h - textBand))
        << "page below the text is not uniformly " << std::hex << colours.Background;
    EXPECT_EQ(page.CountIn(colours.Background, 0, 0, 0, w, 8), static_cast<size_t>(w) * 8) << "margin above the text";
    EXPECT_EQ(page.CountIn(colours.Background, 0, 0, 0, 8, h), static_cast<size_t>(8) * h) << "margin left of the text";
    size_t band = static_cast<size_t>(w) * (textBand - 8);
    size_t text = band - page.CountIn(colours.Background, 0, 8, 8, w, textBand);
    EXPECT_GT(text, 20u) << "no error text drawn";
    EXPECT_GT(page.CountIn(colours.Text, 60, 8, 8, w, textBand), 0u) << "no pixel near the text colour";
    // The page shows the status text ("Error: " and the reason) at (8, 8).
    const std::wstring prefix = L"Error: ";
    ASSERT_EQ(statusText.compare(0, prefix.size(), prefix), 0) << statusText;
    TImage expected = ExpectedErrorPage(page.Width, page.Height, colours.Background == kErrorDark.Background,
                                        statusText.substr(prefix.size()));
    EXPECT_EQ(PageDiff(page, expected), 0u) << "the error page differs from \"" << statusText << "\" drawn at (8, 8)";
    EXPECT_EQ(PageDiff(PrintedWindow(root), expected), 0u) << "PrintWindow does not get the error page";
}

TEST(ViewerPages, ErrorPageFollowsTheDarkFlag)
{
    TListerWindow lister(480, 320);
    std::wstring missing = MissingTempFile(L"missing.stl");
    TViewer viewer(lister, missing);
    ASSERT_NE(viewer.Root(), nullptr);
    {
        SCOPED_TRACE("light");
        ExpectErrorPage(viewer.Root(), kErrorLight, viewer.Status());
    }
    const struct {
        const char* What;
        std::wstring File;
        int Flags;
        TErrorColours Colours;
        bool AfterModel;  // the model is loaded and shown first, with the same flags
    } reloads[] = {
        {"dark after a reload with flag 128", missing, 128, kErrorDark, false},
        {"light again after a reload without it", missing, 0, kErrorLight, false},
        // Other show flags do not matter.
        {"dark with other bits", missing, 128 | 1 | 2 | 4 | 64, kErrorDark, false},
        {"light with every bit but 128", missing, 0x7F | 0x100, kErrorLight, false},
        // A shown model, then a file the reader rejects: the model is gone and
        // the error page is back.
        {"dark after a shown model", WriteTempFile(L"83.stl", std::string(83, 's')), 128, kErrorDark, true},
        {"G-code failure", MissingTempFile(L"missing.nc"), 0, kErrorLight, false},
    };
    for (const auto& r : reloads) {
        SCOPED_TRACE(r.What);
        if (r.AfterModel) {
            ASSERT_EQ(viewer.Reload(Gear(), r.Flags), 0);
            EXPECT_TRUE(IsWindowVisible(viewer.GL()));
        }
        ASSERT_EQ(viewer.Reload(r.File, r.Flags), 0);
        ExpectErrorPage(viewer.Root(), r.Colours, viewer.Status());
    }
    // A long text wraps at words inside (8, 8, W - 8, H - 8).
    lister.SetClientSize(230, 200);
    ASSERT_EQ(viewer.Reload(MissingTempFile(L"a toolpath with a rather long name that has to wrap.gcode"), 0), 0);
    {
        SCOPED_TRACE("wrapped text");
        RedrawWindow(viewer.Root(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        TImage page = CaptureWindow(viewer.Root());
        ASSERT_EQ(page.Width, 230);
        TImage expected = ExpectedErrorPage(230, 200, false, viewer.Status().substr(7));
        EXPECT_EQ(PageDiff(page, expected), 0u);
        EXPECT_LT(page.CountIn(kErrorLight.Background, 0, 0, 24, 230, 40), static_cast<size_t>(230) * 16)
            << "no second line";
    }
}

// --- splash page -----------------------------------------------------------

struct TSplashColours {
    uint32_t Background, Heavy, Light, Title, Subtitle, Status;
};
constexpr TSplashColours kSplashLight = {Rgb(238, 242, 248), Rgb(32, 88, 152), Rgb(176, 80, 0),
                                         Rgb(24, 24, 32),    Rgb(96, 96, 104), Rgb(176, 80, 0)};
constexpr TSplashColours kSplashDark = {Rgb(20, 24, 32),    Rgb(96, 200, 255),  Rgb(200, 120, 50),
                                        Rgb(232, 232, 240), Rgb(144, 144, 152), Rgb(200, 120, 50)};

// Corner k of the cube icon on a root of w x h pixels.
POINT CubeCorner(int k, int w, int h)
{
    static const double x[8] = {0, 1, 1, 0, 0.3, 1.3, 1.3, 0.3};
    static const double y[8] = {0, 0, 1, 1, 0.35, 0.35, 1.35, 1.35};
    int cx = w / 2, cy = h / 2;
    double s = std::min(w, h) * 0.22;
    double ox = cx - 0.8 * s, oy = cy - 0.73 * s;
    return {static_cast<LONG>(std::lround(x[k] * s + ox)), static_cast<LONG>(std::lround((1 - y[k]) * s + oy))};
}

POINT Mid(POINT a, POINT b)
{
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

::testing::AssertionResult PixelIs(const TImage& img, POINT p, uint32_t colour)
{
    if (p.x < 0 || p.y < 0 || p.x >= img.Width || p.y >= img.Height)
        return ::testing::AssertionFailure() << "(" << p.x << ", " << p.y << ") is outside the image";
    if (img.At(p.x, p.y) == colour) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << p.x << ", " << p.y << ") is " << std::hex << img.At(p.x, p.y)
                                         << ", expected " << colour;
}

TImage ExpectedSplash(int w, int h, const TSplashColours& c, const std::wstring& statusLine)
{
    return PaintImage(w, h, [&](HDC dc) {
        int cx = w / 2, cy = h / 2;
        Fill(dc, w, h, c.Background);
        POINT p[8];
        for (int k = 0; k < 8; ++k)
            p[k] = CubeCorner(k, w, h);
        HPEN heavy = CreatePen(PS_SOLID, 2, Ref(c.Heavy)), light = CreatePen(PS_SOLID, 1, Ref(c.Light));
        HGDIOBJ old = SelectObject(dc, heavy);
        for (auto e : {std::pair{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}}) {
            MoveToEx(dc, p[e.first].x, p[e.first].y, nullptr);
            LineTo(dc, p[e.second].x, p[e.second].y);
        }
        SelectObject(dc, light);
        for (auto e : {std::pair{0, 4}, {1, 5}, {2, 6}, {3, 7}}) {
            MoveToEx(dc, p[e.first].x, p[e.first].y, nullptr);
            LineTo(dc, p[e.second].x, p[e.second].y);
        }
        MoveToEx(dc, cx - 80, cy + 50, nullptr);
        LineTo(dc, cx + 80, cy + 50);
        SelectObject(dc, old);
        DeleteObject(heavy);
        DeleteObject(light);
        SetBkMode(dc, TRANSPARENT);
        HFONT title = PageFont(-18, FW_BOLD), small = PageFont(-9, FW_NORMAL);
        Text(dc, title, c.Title, cx - 10, cy - 44, L"Voxaro");
        Text(dc, small, c.Subtitle, cx - 8, cy + 4, L"Total Commander Lister Plugin");
        Text(dc, small, c.Status, cx - 80, cy + 66, statusLine);
        DeleteObject(title);
        DeleteObject(small);
    });
}

// The splash page as recorded right after the root painted it.
void ExpectSplash(const TImage& page, const TSplashColours& c, const std::wstring& fileName)
{
    ASSERT_FALSE(page.Empty());
    int w = page.Width, h = page.Height;
    int cx = w / 2, cy = h / 2;
    // Background in the corners above the status bar.
    EXPECT_TRUE(PixelIs(page, {2, 2}, c.Background));
    EXPECT_TRUE(PixelIs(page, {w - 3, 2}, c.Background));
    EXPECT_TRUE(PixelIs(page, {2, h - kStatusHeight - 3}, c.Background));
    EXPECT_GT(page.CountIn(c.Background, 0, 0, 0, w, h - kStatusHeight),
              static_cast<size_t>(w) * (h - kStatusHeight) * 8 / 10);
    // Heavy cube edges 0-1 (front bottom), 3-0 (front left) and 6-7 (back top).
    POINT p[8];
    for (int k = 0; k < 8; ++k)
        p[k] = CubeCorner(k, w, h);
    EXPECT_TRUE(PixelIs(page, Mid(p[0], p[1]), c.Heavy)) << "edge 0-1";
    EXPECT_TRUE(PixelIs(page, Mid(p[3], p[0]), c.Heavy)) << "edge 3-0";
    EXPECT_TRUE(PixelIs(page, Mid(p[6], p[7]), c.Heavy)) << "edge 6-7";
    // Inside the front face, left of the texts: background.
    EXPECT_TRUE(PixelIs(page, {p[0].x + 6, (p[0].y + p[3].y) / 2}, c.Background));
    // The light rule under the picture.
    EXPECT_TRUE(PixelIs(page, {cx - 79, cy + 50}, c.Light));
    EXPECT_TRUE(PixelIs(page, {cx, cy + 50}, c.Light));
    EXPECT_TRUE(PixelIs(page, {cx + 79, cy + 50}, c.Light));
    EXPECT_TRUE(PixelIs(page, {cx, cy + 52}, c.Background));
    // Texts: "Voxaro" from (cx - 10, cy - 44), the subtitle from (cx - 8, cy + 4),
    // the loading line from (cx - 80, cy + 66); nothing left of them.
    EXPECT_GT(page.CountIn(c.Title, 60, cx - 10, cy - 44, w, cy - 20), 0u) << "title";
    EXPECT_GT(page.CountIn(c.Subtitle, 40, cx - 8, cy + 4, w, cy + 18), 0u) << "subtitle";
    EXPECT_GT(page.CountIn(c.Status, 60, cx - 80, cy + 66, w, cy + 80), 0u) << "loading line";
    EXPECT_EQ(page.CountIn(c.Background, 0, 0, cy + 60, cx - 80, cy + 80), static_cast<size_t>(cx - 80) * 20)
        << "loading line starts left of cx - 80";
    // The whole page, with the loading line "Loading <name>...".
    const std::wstring line = L"Loading " + AnsiRoundTrip(FileNameOnly(fileName)) + L"...";
    EXPECT_EQ(PageDiff(page, ExpectedSplash(w, h, c, line)), 0u)
        << "the page differs from the splash with \"" << line << "\"";
}

TEST(ViewerPages, SplashPageWhileLoading)
{
    TListerWindow lister(400, 300);
    std::wstring slice = Slice();
    std::unique_ptr<TViewer> viewer;
    {
        TRootPaintRecorder rec;
        viewer = std::make_unique<TViewer>(lister, Gear(), 0, /*fit=*/false);
        ASSERT_TRUE(rec.Seen()) << "the root did not paint during the load";
        SCOPED_TRACE("light splash on the new 400 x 300 root");
        EXPECT_EQ(rec.Image().Width, 400);
        ExpectSplash(rec.Image(), kSplashLight, Gear());
        SCOPED_TRACE("the same page through PrintWindow");
        ExpectSplash(rec.Printed(), kSplashLight, Gear());
    }
    ASSERT_NE(viewer->Root(), nullptr);
    lister.SetClientSize(520, 380);
    const struct {
        const char* What;
        std::wstring File;
        int Flags;
        TSplashColours Colours;
    } reloads[] = {
        {"dark splash while reloading with flag 128", slice, 128, kSplashDark},
        {"light splash again", Gear(), 0, kSplashLight},
        // The loading line holds the name as the ANSI code page has it.
        {"non-ASCII name", WriteTempFile(L"zahnrad_\u00fc_\u9f7f\u8f6e.stl", ReadFileBytes(Gear())), 0, kSplashLight},
    };
    for (const auto& r : reloads) {
        SCOPED_TRACE(r.What);
        TRootPaintRecorder rec;
        ASSERT_EQ(viewer->Reload(r.File, r.Flags), 0);
        ASSERT_TRUE(rec.Seen()) << "the root did not paint during the reload";
        EXPECT_EQ(rec.Image().Width, 520);
        ExpectSplash(rec.Image(), r.Colours, r.File);
    }
    // A root of 100 x 50 pixels: S = 11, so the front face spans 11 pixels.
    lister.SetClientSize(100, 50);
    {
        TRootPaintRecorder rec;
        ASSERT_EQ(viewer->Reload(Gear(), 0), 0);
        ASSERT_TRUE(rec.Seen());
        const TImage& page = rec.Image();
        ASSERT_EQ(page.Width, 100);
        POINT c0 = CubeCorner(0, 100, 50), c1 = CubeCorner(1, 100, 50), c4 = CubeCorner(4, 100, 50),
              c5 = CubeCorner(5, 100, 50);
        ASSERT_EQ(c1.x - c0.x, 11);
        // Edge 0-1 lies under the 22-pixel status bar at this height; 4-5 does not.
        EXPECT_TRUE(PixelIs(page, Mid(c4, c5), kSplashLight.Heavy));
        EXPECT_TRUE(PixelIs(page, {c0.x, c0.y - 5}, kSplashLight.Heavy)) << "edge 3-0";
        EXPECT_TRUE(PixelIs(page, {c1.x, c1.y - 5}, kSplashLight.Heavy)) << "edge 1-2";
        EXPECT_TRUE(PixelIs(page, {c5.x - 2, c1.y - 8}, kSplashLight.Background)) << "between edges 1-2 and 5-6";
        EXPECT_TRUE(PixelIs(page, {c0.x - 3, c0.y - 5}, kSplashLight.Background)) << "left of the cube";
    }
    // A 0 x 0 root paints nothing and survives.
    lister.SetClientSize(0, 0);
    EXPECT_EQ(viewer->Reload(Gear(), 0), 0);
    lister.SetClientSize(400, 300);
    EXPECT_EQ(viewer->Reload(Gear(), 0), 0);
    EXPECT_TRUE(IsWindowVisible(viewer->GL()));
}

}  // namespace
}  // namespace voxaro::wine
