// The G-code view of the real DLL: its side panel and the toolpath it draws.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "plugin_fixture.h"

namespace voxaro::wine {
namespace {

constexpr int kPanelWidth = 196;

// A square printed on each of four layers (Z 0.2 to 0.8): five layers in all,
// counting layer 0 before the first rise.
std::wstring FourSquares()
{
    std::string g = "G90\nM82\nG92 E0\n";
    double e = 0;
    for (int layer = 1; layer <= 4; ++layer) {
        g += "G0 Z" + std::to_string(0.2 * layer) + " X80 Y80\n";
        const char* corners[] = {"X120 Y80", "X120 Y120", "X80 Y120", "X80 Y80"};
        for (const char* c : corners)
            g += std::string("G1 ") + c + " E" + std::to_string(e += 2) + "\n";
    }
    return WriteTempFile(L"four squares.gcode", g);
}

HWND PanelOf(HWND root)
{
    return ChildOfClass(root, L"VoxaroPanel");
}
HWND Control(HWND root, int id)
{
    return GetDlgItem(PanelOf(root), id);
}

std::wstring TextOf(HWND wnd)
{
    wchar_t buf[512] = {};
    GetWindowTextW(wnd, buf, 512);
    return buf;
}

// Label below the layer slider: the first static control after it.
HWND LayerLabel(HWND root)
{
    return FindWindowExW(PanelOf(root), nullptr, L"Static", nullptr);
}

HWND LabelWithPrefix(HWND root, const std::wstring& prefix)
{
    for (HWND c = GetWindow(PanelOf(root), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (StartsWith(TextOf(c), prefix)) return c;
    return nullptr;
}

RECT RectIn(HWND wnd, HWND parent)
{
    RECT rc{};
    GetWindowRect(wnd, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void ExpectRect(HWND wnd, HWND parent, int x, int y, int w, int h)
{
    RECT rc = RectIn(wnd, parent);
    EXPECT_EQ(rc.left, x);
    EXPECT_EQ(rc.top, y);
    EXPECT_EQ(rc.right - rc.left, w);
    EXPECT_EQ(rc.bottom - rc.top, h);
}

void MoveSlider(HWND root, int id, int position)
{
    HWND slider = Control(root, id);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(PanelOf(root), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
    Pump(50);
}

void Click(HWND root, int id)
{
    SendMessageW(Control(root, id), BM_CLICK, 0, 0);
    Pump(50);
}

// Pixels of printed moves: orange, lit or not (red high, green about half, no blue).
size_t OrangePixels(const TImage& img)
{
    size_t n = 0;
    for (uint32_t p : img.Pixels) {
        int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        n += r > 90 && g > r * 0.35 && g < r * 0.75 && b < r * 0.15;
    }
    return n;
}

TEST(GCodePanel, PlacementFollowsTheRootAndMeshLoadsHideIt)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    HWND panel = PanelOf(viewer.Root());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetDlgCtrlID(panel), 10);
    EXPECT_TRUE(IsWindowVisible(panel));
    ExpectRect(panel, viewer.Root(), 640 - kPanelWidth, 0, kPanelWidth, 480 - kStatusHeight);
    ExpectRect(viewer.GL(), viewer.Root(), 0, 0, 640 - kPanelWidth, 480 - kStatusHeight);

    lister.SetClientSize(150, 200);  // narrower than the panel: it starts at x = 1
    ExpectRect(panel, viewer.Root(), 1, 0, kPanelWidth, 200 - kStatusHeight);
    ExpectRect(viewer.GL(), viewer.Root(), 0, 0, 1, 200 - kStatusHeight);

    lister.SetClientSize(640, 480);
    ASSERT_EQ(viewer.Reload(Gear()), 0);
    EXPECT_FALSE(IsWindowVisible(panel)) << "a mesh load hides the panel";
    ExpectRect(viewer.GL(), viewer.Root(), 0, 0, 640, 480 - kStatusHeight);

    ASSERT_EQ(viewer.Reload(Slice()), 0);
    EXPECT_EQ(PanelOf(viewer.Root()), panel) << "the panel is made once per viewer";
    EXPECT_TRUE(IsWindowVisible(panel));
}

// After a failed reload the error page fills the root; a resize used to show
// the panel again beside it, with the previous file's information.
TEST(GCodePanel, HiddenBesideTheErrorPageThroughResizes)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    HWND panel = PanelOf(viewer.Root());
    ASSERT_TRUE(IsWindowVisible(panel));
    ASSERT_EQ(viewer.Reload(MissingTempFile(L"gone.gcode")), 0);
    ASSERT_TRUE(StartsWith(viewer.Status(), L"Error: ")) << viewer.Status();
    EXPECT_FALSE(IsWindowVisible(panel));
    lister.SetClientSize(600, 400);
    EXPECT_FALSE(IsWindowVisible(panel)) << "shown again by the resize";
    EXPECT_FALSE(IsWindowVisible(viewer.GL()));

    ASSERT_EQ(viewer.Reload(Slice()), 0);
    EXPECT_TRUE(IsWindowVisible(panel));
    ExpectRect(panel, viewer.Root(), 600 - kPanelWidth, 0, kPanelWidth, 400 - kStatusHeight);
}

TEST(GCodePanel, ControlsStartAsTheViewExpects)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    HWND root = viewer.Root();
    struct Check {
        int Id;
        const wchar_t* Text;
        bool Checked;
    } checks[] = {{4099, L"Show travel", false},  {4100, L"Show print", true}, {4101, L"Color by layer", false},
                  {4102, L"Show support", false}, {4103, L"Lighting", true},   {4104, L"Axes", false},
                  {4105, L"Edges", false}};
    for (const Check& c : checks) {
        SCOPED_TRACE(c.Text);
        HWND box = Control(root, c.Id);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TextOf(box), c.Text);
        EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED, c.Checked);
    }
    const wchar_t* buttons[] = {L"Reset", L"Top", L"Front", L"Side"};
    for (int i = 0; i < 4; ++i) {
        HWND b = Control(root, 4112 + i);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(TextOf(b), buttons[i]);
        ExpectRect(b, PanelOf(root), 8 + 46 * i, 8, 42, 22);
    }
    HWND widthSlider = Control(root, 4098);
    EXPECT_EQ(SendMessageW(widthSlider, TBM_GETRANGEMIN, 0, 0), 1);
    EXPECT_EQ(SendMessageW(widthSlider, TBM_GETRANGEMAX, 0, 0), 40);
    EXPECT_EQ(SendMessageW(widthSlider, TBM_GETPOS, 0, 0), 4);
    EXPECT_NE(LabelWithPrefix(root, L"Line width: 0.40 mm"), nullptr);
    EXPECT_EQ(TextOf(LayerLabel(root)), L"Layer: all");
}

TEST(GCodePanel, SlidersSetLayerLimitAndWidthLabels)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, FourSquares());
    HWND root = viewer.Root();
    ASSERT_TRUE(StartsWith(viewer.Status(), L"GCode  |  Moves: 20  |  Layers: 5")) << viewer.Status().c_str();
    HWND layers = Control(root, 4097);
    EXPECT_EQ(SendMessageW(layers, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageW(layers, TBM_GETRANGEMAX, 0, 0), 5);
    struct Row {
        int Position;
        const wchar_t* Label;
    } rows[] = {{1, L"Layer: 4"}, {3, L"Layer: 2"}, {5, L"Layer: 0"}, {0, L"Layer: all"}};
    for (const Row& r : rows) {
        MoveSlider(root, 4097, r.Position);
        EXPECT_EQ(TextOf(LayerLabel(root)), r.Label) << "position " << r.Position;
    }
    MoveSlider(root, 4098, 40);
    EXPECT_NE(LabelWithPrefix(root, L"Line width: 4.00 mm"), nullptr);
    MoveSlider(root, 4098, 1);
    EXPECT_NE(LabelWithPrefix(root, L"Line width: 0.10 mm"), nullptr);

    // A reload keeps the layer slider's place but brings the width back to 0.4.
    MoveSlider(root, 4097, 3);
    ASSERT_EQ(viewer.Reload(FourSquares()), 0);
    EXPECT_EQ(SendMessageW(layers, TBM_GETPOS, 0, 0), 3);
    EXPECT_EQ(TextOf(LayerLabel(root)), L"Layer: 2");
    EXPECT_EQ(SendMessageW(Control(root, 4098), TBM_GETPOS, 0, 0), 4);
    EXPECT_NE(LabelWithPrefix(root, L"Line width: 0.40 mm"), nullptr);
}

TEST(GCodePanel, InfoLabelSummarisesTheToolpath)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, FourSquares());
    HWND info = LabelWithPrefix(viewer.Root(), L"Moves:");
    ASSERT_NE(info, nullptr);
    // The squares span X and Y 80..120 on layers at Z 0.2..0.8.
    EXPECT_EQ(TextOf(info), L"Moves:  20\nLayers: 5\nX: 80..120\nY: 80..120\nZ: 0.2..0.8 mm");

    ASSERT_EQ(viewer.Reload(WriteTempFile(L"comments only.gcode", "; nothing to print\n")), 0);
    EXPECT_EQ(TextOf(LabelWithPrefix(viewer.Root(), L"Moves:")), L"Moves:  0\nLayers: 1");
    EXPECT_EQ(SendMessageW(Control(viewer.Root(), 4097), TBM_GETRANGEMAX, 0, 0), 1);
}

TEST(GCodePanel, ToolpathFollowsTheCheckBoxesAndButtons)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    HWND root = viewer.Root();
    TImage first = CaptureGL(viewer.GL());
    ASSERT_FALSE(first.Empty());
    EXPECT_GT(OrangePixels(first), 500u) << "printed moves are drawn in orange";

    Click(root, 4100);  // Show print off
    TImage noPrint = CaptureGL(viewer.GL());
    EXPECT_LT(OrangePixels(noPrint), OrangePixels(first) / 20);
    Click(root, 4100);
    EXPECT_EQ(CaptureGL(viewer.GL()), first) << "checking it again restores the picture";

    Click(root, 4113);  // Top
    TImage top = CaptureGL(viewer.GL());
    EXPECT_NE(top, first);
    Click(root, 4112);  // Reset
    EXPECT_EQ(CaptureGL(viewer.GL()), first);

    // Position 1 limits the view to the highest layer, which shows everything;
    // half way up the slider only the lower half of the print remains.
    MoveSlider(root, 4097, 1);
    EXPECT_EQ(CaptureGL(viewer.GL()), first);
    int highest = static_cast<int>(SendMessageW(Control(root, 4097), TBM_GETRANGEMAX, 0, 0));
    MoveSlider(root, 4097, highest / 2);
    TImage lower = CaptureGL(viewer.GL());
    EXPECT_LT(OrangePixels(lower), OrangePixels(first));
    MoveSlider(root, 4097, 0);
    EXPECT_EQ(CaptureGL(viewer.GL()), first);
}

// The toolpath goes into display lists while the viewer is idle: the
// picture stays, and the next file gets lists of its own.
TEST(GCodePanel, ToolpathKeepsItsPictureOnceInDisplayLists)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    const TImage first = CaptureGL(viewer.GL());
    Pump(1500);
    EXPECT_EQ(CaptureGL(viewer.GL()), first);
    ASSERT_EQ(viewer.Reload(FourSquares()), 0);
    Pump(500);
    EXPECT_NE(CaptureGL(viewer.GL()), first);
    ASSERT_EQ(viewer.Reload(Slice()), 0);
    EXPECT_EQ(CaptureGL(viewer.GL()), first);
    Pump(1500);
    EXPECT_EQ(CaptureGL(viewer.GL()), first);
}

}  // namespace
}  // namespace voxaro::wine
