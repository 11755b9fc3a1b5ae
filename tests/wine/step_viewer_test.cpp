// STEP files in the real plug-in: a CAD part opens with its status line and
// face colours; a file that cannot be opened creates no viewer, and a reload
// with one leaves the viewer on its loading page.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace voxaro::wine {
namespace {

TEST(StepViewer, CadPartOpensWithItsColours)
{
    TListerWindow lister(480, 360);
    // An L-shaped prism: six sides of two triangles, top and bottom L of four each.
    TViewer viewer(lister, WriteTempFile(L"coloured.StP", ReadFileBytes(DataPath(L"occt_coloured_faces.step"))));
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_EQ(viewer.Status(), L"STEP  |  Faces: 8  |  Triangles: 20" + MeshAaSuffix() + kKeyHelp);
    ASSERT_TRUE(IsWindowVisible(viewer.GL()));
    TImage frame = CaptureGL(viewer.GL());
    size_t red = 0;
    for (uint32_t c : frame.Pixels)
        red += ((c >> 16) & 0xFF) > ((c >> 8) & 0xFF) + 60 ? 1 : 0;
    EXPECT_GT(red, 500u) << "the red top faces";
}

TEST(StepViewer, FileThatCannotBeOpened)
{
    TListerWindow lister;
    std::wstring missing = MissingTempFile(L"missing.step");
    EXPECT_EQ(Plugin().ListLoadW(lister.Handle(), missing.data(), 0), nullptr);
    EXPECT_EQ(GetWindow(lister.Handle(), GW_CHILD), nullptr) << "the viewer is freed";

    TViewer viewer(lister, DataPath(L"occt_plate_holes.step"));
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_EQ(viewer.Reload(missing), 1);
    EXPECT_EQ(viewer.Status(), L"Loading...");
    EXPECT_FALSE(IsWindowVisible(viewer.GL()));
    ASSERT_EQ(viewer.Reload(DataPath(L"occt_plate_holes.step")), 0);  // still usable
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));
}

}  // namespace
}  // namespace voxaro::wine
