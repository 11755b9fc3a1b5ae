// The plug-in's outer skin: exports, detect string, viewer list and commands.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin_fixture.h"

namespace voxaro::wine {
namespace {

const char kDetect[] =
    "EXT=\"3MF\" | EXT=\"STL\" | EXT=\"STP\" | EXT=\"STEP\" | EXT=\"GCODE\" | EXT=\"GCO\" | EXT=\"NC\" | EXT=\"NGC\"";

TEST(PluginExports, AllNineEntryPointsResolve)
{
    TPluginApi& p = Plugin();
    ASSERT_NE(p.Module, nullptr) << "cannot load the plug-in from VOXARO_PLUGIN";
    EXPECT_TRUE(p.ListLoad && p.ListLoadW && p.ListLoadNext && p.ListLoadNextW && p.ListCloseWindow &&
                p.ListGetDetectString && p.ListSetDefaultParams && p.ListSendCommand && p.ListGetPreviewBitmap);
}

TEST(PluginExports, DetectStringIsCopiedAndTruncated)
{
    char buf[300];
    std::memset(buf, 'x', sizeof buf);
    Plugin().ListGetDetectString(buf, sizeof buf);
    EXPECT_STREQ(buf, kDetect);

    std::memset(buf, 'x', sizeof buf);
    Plugin().ListGetDetectString(buf, 20);
    EXPECT_EQ(std::string(buf), std::string(kDetect, 19));
    EXPECT_EQ(buf[20], 'x') << "wrote past the buffer";
}

TEST(PluginExports, StlFileOpensWithStatusLine)
{
    TListerWindow lister;
    std::wstring file = Gear();
    HWND root = Plugin().ListLoadW(lister.Handle(), file.data(), 0);
    ASSERT_NE(root, nullptr);
    Pump();
    EXPECT_EQ(StatusText(root), L"STL Binary  |  Triangles: 1304  |  Vertices: 3912" + MeshAaSuffix() + kKeyHelp);
    Plugin().ListCloseWindow(root);
    EXPECT_FALSE(IsWindow(root));
}

}  // namespace
}  // namespace voxaro::wine
