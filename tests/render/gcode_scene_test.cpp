// The toolpath scene shared by the view and the thumbnail: the floor grid's
// lines for real beds and for absurd coordinates, and whole pictures of
// toolpaths far beyond any bed, which must still be finished in time.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gcode_renderer.h"
#include "gcode_scene.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "test_files.h"
#include "thumbnail_renderer.h"

namespace voxaro {
namespace {

using namespace voxaro::test;

// The grid's rule: a line every 10 units from the start while it is not past
// the end by more than 0.01.
std::vector<double> RuleLines(double from, double to)
{
    std::vector<double> lines;
    for (double x = from; x <= to + 0.01; x += 10.0)
        lines.push_back(x);
    return lines;
}

std::vector<double> AxisLines(const TGridAxis& axis)
{
    std::vector<double> lines;
    double x = axis.From;
    for (int32_t k = 0; k < axis.Count; ++k, x += axis.Step)
        lines.push_back(x);
    return lines;
}

TEST(FloorGrid, BedsUpTo100MetresKeepEveryLineOfTheRule)
{
    // Print bounds of beds small and large: the grid reaches a step beyond the
    // raster lines around them.
    for (auto [from, to] : {std::pair{-10.0, 30.0}, {-10.0, 260.0}, {-4.75e4, 5.0e4}})
        EXPECT_EQ(AxisLines(FloorGridOver(from + 15, to - 15, 0, 1).X), RuleLines(from, to)) << from << ".." << to;
    // The square around a camera target off the raster.
    for (double t : {12.345, -987.6, 123456.789})
        EXPECT_EQ(AxisLines(FloorGridAround(t, 0).X), RuleLines(t - 50, t + 50)) << t;
}

TEST(FloorGrid, AnyOtherSpanGetsABoundedGridThatStillCoversIt)
{
    RunWithTimeout(20, "grids of far-away spans", [] {
        for (double span : {1.1e5, 1e9, 1.4e17, 1e20, 3e38}) {
            TGridAxis a = GridAxis(-span / 3, span);
            EXPECT_LE(a.Count, kMaxGridLines) << span;
            EXPECT_GE(a.Count, 1000) << span;
            const double slack = a.Step * 1e-9;  // rounding of the ends
            EXPECT_TRUE(a.From <= -span / 3 + slack && a.To >= span - slack) << span;
            EXPECT_NEAR(a.From + (a.Count - 1) * a.Step, a.To, a.Step * 1e-6) << "last line at the end, " << span;
        }
        // Around a target where adding 10 no longer changes the position.
        EXPECT_LE(FloorGridAround(1e18, -1e18).X.Count, kMaxGridLines);
        // Ends that are not finite, or beyond what a float vertex can hold.
        const double inf = std::numeric_limits<double>::infinity();
        for (auto [from, to] : {std::pair{0.0, inf}, {std::nan(""), 10.0}, {0.0, 1e39}})
            EXPECT_EQ(GridAxis(from, to).Count, 0) << from << ".." << to;
    });
}

// A frame of the view (fitted, default angles, print and lighting on) and a
// thumbnail of the same file, each drawn within the time limit.
void ExpectPicturesFinish(const std::string& name, const std::string& text)
{
    TGCodeParser parser;
    ASSERT_TRUE(parser.LoadFromFile(Wide(WriteTempFile(name, text))));
    ASSERT_GT(parser.MoveCount, 0);
    bool frameDrawn = false, thumbnailDrawn = false;
    RunWithTimeout(30, name.c_str(), [&] {
        TOffscreenGL gl;
        if (!gl.Create(160, 120)) return;
        InitGLState(gl.Api(), 0);
        TGCodeFrame frame;
        frame.Parser = &parser;
        FitGCodeCamera(frame.Camera, &parser);
        ResetGCodeAngles(frame.Camera);
        frame.Options.ShowPrint = frame.Options.Lighting = frame.Options.ShowTravel = true;
        frame.Width = 160, frame.Height = 120;
        frameDrawn = DrawGCodeFrame(gl.Api(), frame);
        thumbnailDrawn = DrawGCodeThumbnail(gl.Api(), parser, true, 160, 120);
        gl.Api().Finish();
    });
    EXPECT_TRUE(frameDrawn);
    EXPECT_TRUE(thumbnailDrawn);
}

TEST(FarCoordinates, FramesAndThumbnailsAreFinished)
{
    // A printed move to X 1e20: the grid spans the print bounds.
    ExpectPicturesFinish("far_print.gcode", "G1 Z0.2\nG1 X10 Y10 E1\nG1 X100000000000000000000 Y10 E2\n");
    // Travel alone to X 1e18: no print bounds, the view's grid is the square
    // around the camera target.
    ExpectPicturesFinish("far_travel.gcode", "G0 X10 Y10\nG0 X1000000000000000000 Y10\n");
    // Relative moves that overflow to infinity.
    const std::string huge = "1" + std::string(300, '0');
    ExpectPicturesFinish("infinite.gcode", "G91\nG1 X10 E1\nG1 X" + huge + " E1\nG1 X" + huge + " E1\nG1 Y1 E1\n");
}

}  // namespace
}  // namespace voxaro
