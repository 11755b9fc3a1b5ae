// The viewer's window tree: classes, ids, styles and the layout of the GL
// window above the 22-pixel status bar, on load and on resize.
#include "plugin_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace voxaro::wine {
namespace {

bool HasStyle(HWND wnd, DWORD bits)
{
    return (static_cast<DWORD>(GetWindowLongPtrW(wnd, GWL_STYLE)) & bits) == bits;
}

::testing::AssertionResult RectIs(HWND wnd, int x, int y, int w, int h)
{
    RECT rc = RectInParent(wnd);
    if (rc.left == x && rc.top == y && rc.right - rc.left == w && rc.bottom - rc.top == h)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ClassOf(wnd) << " window at (" << rc.left << ", " << rc.top << ") size "
                                         << rc.right - rc.left << " x " << rc.bottom - rc.top << ", expected (" << x
                                         << ", " << y << ") size " << w << " x " << h;
}

// The GL window fills the root above the status bar, at the root's full
// width. The status bar is asked for the bottom 22 pixels (see
// ExpectStatusBarRequest); the common control then keeps its own height at the
// bottom of the root, which is checked here.
void ExpectMeshLayout(HWND root, int w, int h)
{
    RECT client{};
    GetClientRect(root, &client);
    ASSERT_EQ(client.right, w);
    ASSERT_EQ(client.bottom, h);
    EXPECT_TRUE(RectIs(GLWindow(root), 0, 0, w, h - kStatusHeight));
    RECT gl{};
    GetClientRect(GLWindow(root), &gl);
    EXPECT_EQ(gl.right, w);
    EXPECT_EQ(gl.bottom, h - kStatusHeight);
    RECT status = RectInParent(StatusWindow(root));
    EXPECT_EQ(status.left, 0);
    EXPECT_EQ(status.right, w);
    EXPECT_EQ(status.bottom, h) << "status bar at the bottom of the root";
    EXPECT_GE(status.top, h - kStatusHeight) << "status bar overlaps the GL window";
}

// The mesh layout, and a GL frame of the GL window's size whose four corners
// show the light mesh background.
void ExpectMeshLayoutAndFrame(HWND root, int w, int h)
{
    ExpectMeshLayout(root, w, h);
    TImage frame = CaptureGL(GLWindow(root));
    EXPECT_EQ(frame.Width, w);
    EXPECT_EQ(frame.Height, h - kStatusHeight);
    ExpectCorners(frame, kLightBackground);
}

// The viewer placed its status bar at (0, H - 22), W x 22.
void ExpectStatusBarRequest(const TPlacementRecorder& rec, int w, int h)
{
    EXPECT_TRUE(rec.Saw(0, h - kStatusHeight, w, kStatusHeight)) << rec.Describe();
}

TEST(ViewerWindows, ClassesAndTreeOfAViewerWhoseLoadFailed)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, MissingTempFile(L"no-such-model.stl"), 0, /*fit=*/false);
    HWND root = viewer.Root();
    ASSERT_NE(root, nullptr) << "a file that cannot be read still gets a viewer";

    EXPECT_EQ(ClassOf(root), L"VoxaroRoot");
    EXPECT_EQ(GetParent(root), lister.Handle());
    EXPECT_EQ(GetDlgCtrlID(root), 0);
    EXPECT_TRUE(HasStyle(root, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    EXPECT_EQ(GetWindowLongPtrW(root, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_NOPARENTNOTIFY), 0);
    EXPECT_TRUE(RectIs(root, 0, 0, 400, 300)) << "initial root rectangle";

    HWND status = StatusWindow(root);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(GetParent(status), root);
    EXPECT_EQ(GetDlgCtrlID(status), 1);
    EXPECT_TRUE(IsWindowVisible(status));
    EXPECT_EQ(SendMessageW(status, SB_GETPARTS, 0, 0), 1) << "one status part";

    HWND gl = GLWindow(root);
    ASSERT_NE(gl, nullptr);
    EXPECT_EQ(GetParent(gl), root);
    EXPECT_EQ(GetDlgCtrlID(gl), 2);
    EXPECT_FALSE(IsWindowVisible(gl)) << "the GL window stays hidden after a failed load";
    EXPECT_TRUE(HasStyle(gl, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP));
    EXPECT_TRUE(RectIs(gl, 0, 0, 400, 300 - kStatusHeight)) << "initial GL rectangle";
    EXPECT_EQ(ChildOfClass(root, L"VoxaroPanel"), nullptr) << "a mesh viewer has no side panel";

    // Exactly these two children.
    int children = 0;
    for (HWND c = GetWindow(root, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        ++children;
    EXPECT_EQ(children, 2);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExW(Plugin().Module, L"VoxaroRoot", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.cbWndExtra, 8);
    EXPECT_EQ(wc.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ASSERT_TRUE(GetClassInfoExW(Plugin().Module, L"VoxaroGL", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS));
    EXPECT_EQ(wc.cbWndExtra, 8);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hIcon, nullptr);
    ASSERT_TRUE(GetClassInfoExW(Plugin().Module, L"VoxaroPanel", &wc)) << "all three classes are registered at once";
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.cbWndExtra, 8);
    LOGBRUSH brush{};
    ASSERT_EQ(GetObjectW(wc.hbrBackground, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(brush.lbColor, RGB(90, 64, 64));

    // Both own windows swallow background erasing.
    HDC dc = GetDC(root);
    EXPECT_EQ(SendMessageW(root, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    EXPECT_EQ(SendMessageW(gl, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(root, dc);
}

TEST(ViewerWindows, MeshLayoutFollowsTheRootSize)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Gear(), 0, /*fit=*/false);
    HWND root = viewer.Root();
    ASSERT_NE(root, nullptr);
    HWND gl = viewer.GL();
    EXPECT_TRUE(IsWindowVisible(gl)) << "a successful load shows the GL window";
    EXPECT_EQ(GetFocus(), gl) << "a successful load gives the GL window the focus";
    {
        SCOPED_TRACE("laid out inside the initial 400 x 300 root");
        ExpectMeshLayout(root, 400, 300);
    }
    {
        TPlacementRecorder rec(StatusWindow(root));
        lister.FitChild();  // the host sizes the root to its client area
        ExpectStatusBarRequest(rec, 640, 480);
    }
    {
        SCOPED_TRACE("root sized to 640 x 480");
        ExpectMeshLayoutAndFrame(root, 640, 480);
    }
    {
        TPlacementRecorder rec(StatusWindow(root));
        lister.SetClientSize(517, 333);
        ExpectStatusBarRequest(rec, 517, 333);
    }
    {
        SCOPED_TRACE("Lister resized to 517 x 333");
        ExpectMeshLayoutAndFrame(root, 517, 333);
    }
    // A root exactly as high as the status bar leaves a GL window 0 pixels high;
    // painting it must not fail.
    lister.SetClientSize(300, kStatusHeight);
    EXPECT_TRUE(RectIs(gl, 0, 0, 300, 0));
    RedrawWindow(gl, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(CaptureGL(gl).Empty());
    lister.SetClientSize(320, 240);
    {
        SCOPED_TRACE("back to 320 x 240");
        ExpectMeshLayout(root, 320, 240);
        EXPECT_FALSE(CaptureGL(gl).Empty());
    }
    // A reload lays the children out again from the root's client size.
    {
        TPlacementRecorder rec(StatusWindow(root));
        ASSERT_EQ(viewer.Reload(Gear()), 0);
        ExpectStatusBarRequest(rec, 320, 240);
    }
    ExpectMeshLayout(root, 320, 240);
    EXPECT_TRUE(IsWindowVisible(gl));
}

TEST(ViewerWindows, MeshAfterGCodeGetsTheFullWidthAgain)
{
    TListerWindow lister(640, 480);
    TViewer viewer(lister, Slice());
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));
    ASSERT_EQ(viewer.Reload(Gear()), 0);
    ExpectMeshLayout(viewer.Root(), 640, 480);
    if (HWND panel = ChildOfClass(viewer.Root(), L"VoxaroPanel")) {
        EXPECT_FALSE(IsWindowVisible(panel));
    }
}

}  // namespace
}  // namespace voxaro::wine
