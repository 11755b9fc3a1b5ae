// The status line and the panel's information of a toolpath.
#include "gcode_summary.h"

#include <gtest/gtest.h>

#include <string>

#include "GCodeParser.h"

namespace voxaro {
namespace {

TGCodeParser Summarised(int32_t moves, int32_t layers, bool incomplete)
{
    TGCodeParser p;
    p.MoveCount = moves;
    p.LayerCount = layers;
    p.Incomplete = incomplete;
    return p;
}

TEST(GCodeSummary, StatusLineMarksAnIncompleteLoad)
{
    EXPECT_EQ(GCodeStatusLine(Summarised(12, 3, false), 0), "GCode  |  Moves: 12  |  Layers: 3");
    EXPECT_EQ(GCodeStatusLine(Summarised(12, 3, false), 4), "GCode  |  Moves: 12  |  Layers: 3  |  MSAA 4x");
    EXPECT_EQ(GCodeStatusLine(Summarised(7, 1, true), 8),
              "GCode  |  Moves: 7  |  Layers: 1  |  Incomplete: out of memory after 7 moves  |  MSAA 8x");
    EXPECT_EQ(IncompleteNote(Summarised(7, 1, false)), "");
}

TEST(GCodeSummary, PanelInfoIsNeverCut)
{
    TGCodeParser p = Summarised(5, 2, false);
    EXPECT_EQ(GCodePanelInfo(p), "Moves:  5\nLayers: 2");
    p.HasPrintBounds = true;
    p.PrintMinX = -0.4, p.PrintMaxX = 200.5, p.PrintMinY = 3, p.PrintMaxY = 4, p.PrintMinZ = 0.2, p.PrintMaxZ = 10.25;
    EXPECT_EQ(GCodePanelInfo(p), "Moves:  5\nLayers: 2\nX: -0..200\nY: 3..4\nZ: 0.2..10.2 mm");
    p.Incomplete = true;
    EXPECT_EQ(GCodePanelInfo(p),
              "Moves:  5\nLayers: 2\nX: -0..200\nY: 3..4\nZ: 0.2..10.2 mm\nIncomplete: out of memory after 5 moves");

    // Absurd bounds: 309 digits each way, six numbers in all. The text used
    // to stop at 256 bytes.
    p.Incomplete = false;
    p.PrintMinX = p.PrintMinY = p.PrintMinZ = -1e308;
    p.PrintMaxX = p.PrintMaxY = p.PrintMaxZ = 1e308;
    const std::string info = GCodePanelInfo(p);
    EXPECT_EQ(info.size(), std::string("Moves:  5\nLayers: 2\nX: ..\nY: ..\nZ: .. mm").size() + 6 * 309 + 3 + 2 * 2);
    EXPECT_EQ(info.substr(info.size() - 5), ".0 mm");
}

}  // namespace
}  // namespace voxaro
