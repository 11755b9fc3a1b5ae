// Which names the viewer opens as G-code.
#include <gtest/gtest.h>

#include "GCodeParser.h"

namespace voxaro {
namespace {

TEST(FileKinds, GCodeNamesInAnyLetterCase)
{
    for (const wchar_t* name : {L"a.gcode", L"A.GCODE", L"b.Gco", L"c.nc", L"d.NGC", L"e.g", L"f.TAP",
                                L"C:\\prints\\part.v2.gcode", L"/home/x/y.nc"})
        EXPECT_TRUE(IsGCodeFileName(name)) << name;
    for (const wchar_t* name : {L"part.stl", L"part.gcode.stl", L"gcode", L".gcodex", L"a.gcode ", L"a.gcode.",
                                L"C:\\dir.gcode\\file", L"noext", L""})
        EXPECT_FALSE(IsGCodeFileName(name)) << name;
}

TEST(FileKinds, ThumbnailsTakeFourOfTheSixGCodeExtensions)
{
    for (const wchar_t* name : {L"a.gcode", L"b.GCO", L"c.Nc", L"d.ngc"}) {
        EXPECT_TRUE(IsGCodeThumbnailName(name)) << name;
        EXPECT_TRUE(IsGCodeFileName(name)) << name;
    }
    for (const wchar_t* name : {L"e.g", L"f.TAP"}) {
        EXPECT_FALSE(IsGCodeThumbnailName(name)) << name;
        EXPECT_TRUE(IsGCodeFileName(name)) << name;
    }
    EXPECT_FALSE(IsGCodeThumbnailName(L"C:\\x.gcode\\part.stl"));
}

}  // namespace
}  // namespace voxaro
