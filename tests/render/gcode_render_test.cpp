// Toolpath drawing through the GL table, checked in pixels on OSMesa, plus
// the pure colour-ramp and arc rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "gcode_renderer.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "pixels.h"
#include "test_files.h"

namespace voxaro {
namespace {

using namespace voxaro::test;

constexpr int kSize = 128;
constexpr double kPi = 3.14159265358979323846;
constexpr double kTopPitch = 1.5690509975429023;  // the panel's "Top" preset, 89.9 degrees

// ---------------------------------------------------------------------------
// Colours and pixel helpers

const uint32_t kBackgroundRgb = Rgb(0.13f, 0.13f, 0.15f);
const uint32_t kGridRgb = Rgb(0.3f, 0.3f, 0.34f);
const uint32_t kTravelRgb = Rgb(0.5f, 0.5f, 0.5f);
const uint32_t kIdleRgb = Rgb(0.45f, 0.45f, 0.45f);
const uint32_t kPrintRgb = Rgb(1.0f, 0.55f, 0.0f);
const uint32_t kSupportRgb = Rgb(1.0f, 0.45f, 0.0f);
const uint32_t kInterfaceRgb = Rgb(1.0f, 0.85f, 0.0f);
const uint32_t kEdgeRgb = Rgb(0.55f, 0.55f, 0.55f);

// ---------------------------------------------------------------------------
// Cameras

// Looking straight down at G-code point (x, y, 0) from dist.
TGCodeCamera TopCamera(double x, double y, double dist)
{
    TGCodeCamera cam;
    cam.CamYaw = 0.0;
    cam.CamPitch = kTopPitch;
    cam.CamDist = dist;
    cam.CamTargetX = x;
    cam.CamTargetY = 0.0;
    cam.CamTargetZ = -y;
    return cam;
}

// Pixel of a G-code point at height 0 in a top view of a kSize square:
// G-code +X to the right, +Y up, the target in the middle.
struct TPixel {
    int X, Y;
};
TPixel TopPixel(const TGCodeCamera& cam, double x, double y)
{
    double scale = (kSize / 2.0) / (cam.CamDist * std::tan(22.5 * kPi / 180.0));
    double px = kSize / 2.0 + (x - cam.CamTargetX) * scale;
    double py = kSize / 2.0 - (y + cam.CamTargetZ) * scale;
    return {static_cast<int>(std::floor(px)), static_cast<int>(std::floor(py))};
}

// Pixels matching test within radius pixels of a G-code point in a top view.
size_t CountAround(const TOffscreenGL& gl, const TGCodeCamera& cam, double x, double y, const TPixelTest& test,
                   int radius = 2)
{
    TPixel p = TopPixel(cam, x, y);
    return CountIn(gl, test, p.X - radius, p.Y - radius, p.X + radius, p.Y + radius);
}

// Number of separate runs of matching pixels along row y.
int RunsInRow(const TOffscreenGL& gl, int y, const TPixelTest& test)
{
    int runs = 0;
    bool inside = false;
    for (int x = 0; x < gl.Width(); ++x) {
        bool hit = test(gl.PixelAt(x, y));
        if (hit && !inside) ++runs;
        inside = hit;
    }
    return runs;
}

int RunsInColumn(const TOffscreenGL& gl, int x, const TPixelTest& test)
{
    int runs = 0;
    bool inside = false;
    for (int y = 0; y < gl.Height(); ++y) {
        bool hit = test(gl.PixelAt(x, y));
        if (hit && !inside) ++runs;
        inside = hit;
    }
    return runs;
}

// ---------------------------------------------------------------------------
// Toolpaths built move by move

class TPath {
public:
    TGCodeParser Parser;
    int32_t Layer = 0;
    TGCodeFeature Feature = gfNone;
    float Width = 0.4f;   // recorded line width of the following moves
    float Height = 0.2f;  // recorded layer height of the following moves

    void Travel(double x, double y, double z = 0.2) { Add(0, x, y, z, false); }
    void Print(double x, double y, double z = 0.2) { Add(1, x, y, z, true); }
    // G1 without extrusion.
    void Idle(double x, double y, double z = 0.2) { Add(1, x, y, z, false); }
    void Arc(uint8_t kind, double x, double y, double i, double j, double z = 0.2) { Add(kind, x, y, z, true, i, j); }
    // Travel to (x0, y) then print to x1 in two moves; only the second one
    // draws, from (x0 + x1) / 2 to x1.
    void Run(double x0, double x1, double y)
    {
        Travel(x0, y);
        Print((x0 + x1) / 2, y);
        Print(x1, y);
    }

private:
    void Add(uint8_t kind, double x, double y, double z, bool extrude, double i = 0, double j = 0)
    {
        TGCodeMove m{};
        m.Kind = kind;
        m.X = x, m.Y = y, m.Z = z;
        m.I = i, m.J = j;
        m.Extrude = extrude;
        m.Layer = Layer;
        m.Feature = Feature;
        m.LineWidth = Width;
        m.LayerHeight = Height;
        Parser.AddMove(m);
        Parser.LayerCount = std::max(Parser.LayerCount, Layer + 1);
    }
};

TGCodeViewOptions PrintOnly()
{
    TGCodeViewOptions o;
    o.ShowPrint = true;
    o.ShowSupport = true;
    return o;
}

class GCodeRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl_.Create(kSize, kSize));
        InitGLState(gl_.Api(), 0);
    }
    bool Draw(const TGCodeParser* parser, const TGCodeCamera& cam, const TGCodeViewOptions& options,
              int32_t layerSel = -1, double lineWidth = 0.4, int width = kSize, int height = kSize)
    {
        TGCodeFrame frame;
        frame.Parser = parser;
        frame.Camera = cam;
        frame.Options = options;
        frame.LayerSel = layerSel;
        frame.LineWidth = lineWidth;
        frame.Width = width;
        frame.Height = height;
        bool drawn = DrawGCodeFrame(gl_.Api(), frame);
        gl_.Api().Finish();
        return drawn;
    }
    void FillGreen()
    {
        gl_.Api().ClearColor(0, 1, 0, 1);
        gl_.Api().Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    }
    size_t Warm() const { return CountAll(gl_, IsWarm); }
    TOffscreenGL gl_;
};

// ---------------------------------------------------------------------------
// Colour ramp

void ExpectLayerColor(int layer, int highest, float r, float g, float b)
{
    float rgb[3] = {-1, -1, -1};
    LayerColor(layer, highest, rgb);
    EXPECT_FLOAT_EQ(rgb[0], r) << "layer " << layer << " of " << highest;
    EXPECT_FLOAT_EQ(rgb[1], g) << "layer " << layer << " of " << highest;
    EXPECT_FLOAT_EQ(rgb[2], b) << "layer " << layer << " of " << highest;
}

TEST(GCodeLayerColor, RampRunsFromBlueThroughGreenToRed)
{
    ExpectLayerColor(0, 2, 0, 0, 1);
    ExpectLayerColor(1, 2, 0, 1, 0);
    ExpectLayerColor(2, 2, 1, 0, 0);
    // Between the primaries: hue 180 (cyan), 60 (yellow), 210 (half way
    // from cyan to blue), 30 (half way from red to yellow).
    ExpectLayerColor(1, 4, 0, 1, 1);
    ExpectLayerColor(3, 4, 1, 1, 0);
    ExpectLayerColor(1, 8, 0, 0.5f, 1);
    ExpectLayerColor(7, 8, 1, 0.5f, 0);
}

TEST(GCodeLayerColor, NoHighestLayerGivesFixedOrange)
{
    ExpectLayerColor(0, 0, 1, 0.6f, 0);
    ExpectLayerColor(3, 0, 1, 0.6f, 0);
    ExpectLayerColor(0, -2, 1, 0.6f, 0);
}

TEST(GCodeLayerColor, LayersFarAboveTheHighestTurnWhite)
{
    // Hue -120 and -60 degrees: negative sectors.
    ExpectLayerColor(3, 2, 1, 1, 1);
    ExpectLayerColor(5, 4, 1, 1, 1);
}

// ---------------------------------------------------------------------------
// Arc pieces

TGCodeMove Point(double x, double y, double z = 0.2)
{
    TGCodeMove m{};
    m.Kind = 1;
    m.X = x, m.Y = y, m.Z = z;
    return m;
}

TGCodeMove ArcTo(uint8_t kind, double x, double y, double i, double j)
{
    TGCodeMove m = Point(x, y);
    m.Kind = kind;
    m.I = i, m.J = j;
    m.Extrude = true;
    return m;
}

TEST(GCodeArcPieces, OnePiecePerFiveDegreesAtLeastFour)
{
    // Counter-clockwise quarter circle around the origin.
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 0, 10, -10, 0), Point(10, 0)), 18);
    double a = 10.0 * kPi / 180.0;
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 10 * std::cos(a), 10 * std::sin(a), -10, 0), Point(10, 0)), 4);
    double b = 1.0 * kPi / 180.0;
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 10 * std::cos(b), 10 * std::sin(b), -10, 0), Point(10, 0)), 4);
    // Half circle of radius 5: 180 degrees.
    EXPECT_EQ(ArcPieceCount(ArcTo(3, -5, 0, -5, 0), Point(5, 0)), 36);
}

TEST(GCodeArcPieces, DirectionDecidesTheWayAround)
{
    // Same end points: clockwise goes the long way round, 270 degrees.
    EXPECT_EQ(ArcPieceCount(ArcTo(2, 0, 10, -10, 0), Point(10, 0)), 54);
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 0, 10, -10, 0), Point(10, 0)), 18);
    // And the other way round for the reversed arc.
    EXPECT_EQ(ArcPieceCount(ArcTo(2, 10, 0, 0, -10), Point(0, 10)), 18);
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 10, 0, 0, -10), Point(0, 10)), 54);
}

TEST(GCodeArcPieces, DegenerateArcsHaveNoPieces)
{
    // No centre offsets (an R-form arc): zero radius.
    EXPECT_EQ(ArcPieceCount(ArcTo(2, 0, 10, 0, 0), Point(10, 0)), 0);
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 0, 10, 0, 0), Point(10, 0)), 0);
    // Full circle back to the start point: no sweep.
    EXPECT_EQ(ArcPieceCount(ArcTo(3, 10, 0, -10, 0), Point(10, 0)), 0);
    EXPECT_EQ(ArcPieceCount(ArcTo(2, 10, 0, -10, 0), Point(10, 0)), 0);
}

// ---------------------------------------------------------------------------
// Frame set-up

TEST_F(GCodeRender, NothingToDrawReturnsFalseAndLeavesThePicture)
{
    TPath path;
    path.Run(-5, 5, 0);
    TGCodeParser empty;
    TGCodeCamera cam = TopCamera(0, 0, 50);
    FillGreen();
    EXPECT_FALSE(Draw(nullptr, cam, PrintOnly()));
    EXPECT_FALSE(Draw(&empty, cam, PrintOnly()));
    EXPECT_FALSE(Draw(&path.Parser, cam, PrintOnly(), -1, 0.4, kSize, 0));
    EXPECT_FALSE(Draw(&path.Parser, cam, PrintOnly(), -1, 0.4, 0, kSize));
    EXPECT_FALSE(Draw(&path.Parser, cam, PrintOnly(), -1, 0.4, -4, kSize));
    EXPECT_EQ(CountAll(gl_, Is(0x00FF00, 0)), static_cast<size_t>(kSize * kSize));

    EXPECT_TRUE(Draw(&path.Parser, cam, PrintOnly()));
    EXPECT_EQ(CountAll(gl_, Is(0x00FF00, 0)), 0u);
}

TEST_F(GCodeRender, ClearsToTheBackgroundColour)
{
    TPath path;
    path.Travel(0, 0);
    FillGreen();
    ASSERT_TRUE(Draw(&path.Parser, TopCamera(0, 0, 50), PrintOnly()));
    EXPECT_TRUE(Near(gl_.PixelAt(1, 1), kBackgroundRgb)) << std::hex << gl_.PixelAt(1, 1);
    EXPECT_TRUE(Near(gl_.PixelAt(kSize - 2, kSize - 2), kBackgroundRgb));
    // Only the background and the grid: no other colour anywhere.
    size_t known = CountAll(gl_, [](uint32_t c) { return Near(c, kBackgroundRgb) || Near(c, kGridRgb); });
    EXPECT_EQ(known, static_cast<size_t>(kSize * kSize));
}

TEST_F(GCodeRender, PublishesColourByLayerState)
{
    TPath path;
    path.Travel(0, 0);
    TGCodeViewOptions o = PrintOnly();
    o.ColorByLayer = true;
    ASSERT_TRUE(Draw(&path.Parser, TopCamera(0, 0, 50), o));
    EXPECT_TRUE(GetColorByLayer());
    o.ColorByLayer = false;
    ASSERT_TRUE(Draw(&path.Parser, TopCamera(0, 0, 50), o));
    EXPECT_FALSE(GetColorByLayer());
}

// ---------------------------------------------------------------------------
// Floor grid

TEST_F(GCodeRender, GridWithoutPrintBoundsIsSquareAroundTarget)
{
    TPath path;
    path.Travel(30, 20);
    ASSERT_FALSE(path.Parser.HasPrintBounds);
    // Target well away from the origin; 100 x 100 units at this distance
    // cover about 77 of the 128 pixels.
    TGCodeCamera cam = TopCamera(30, 20, 200);
    ASSERT_TRUE(Draw(&path.Parser, cam, PrintOnly()));
    TPixel lo = TopPixel(cam, -20, 70);  // top left corner of the square
    TPixel hi = TopPixel(cam, 80, -30);  // bottom right corner
    TBounds b = BoundsOf(gl_, Is(kGridRgb));
    EXPECT_NEAR(b.MinX, lo.X, 2);
    EXPECT_NEAR(b.MaxX, hi.X, 2);
    EXPECT_NEAR(b.MinY, lo.Y, 2);
    EXPECT_NEAR(b.MaxY, hi.Y, 2);
    // Eleven lines each way, ten units apart.
    EXPECT_EQ(RunsInRow(gl_, TopPixel(cam, 0, 25).Y, Is(kGridRgb)), 11);
    EXPECT_EQ(RunsInColumn(gl_, TopPixel(cam, 35, 0).X, Is(kGridRgb)), 11);
}

TEST_F(GCodeRender, GridWithPrintBoundsCoversThemWithAMargin)
{
    TPath path;
    path.Travel(0, 0);
    path.Parser.HasPrintBounds = true;
    path.Parser.PrintMinX = 1, path.Parser.PrintMaxX = 15;
    path.Parser.PrintMinY = 0, path.Parser.PrintMaxY = 25;
    path.Parser.PrintMinZ = 0, path.Parser.PrintMaxZ = 1;
    // x from -10 to 30 and y from -10 to 40, around a centred target.
    TGCodeCamera cam = TopCamera(10, 15, 100);
    ASSERT_TRUE(Draw(&path.Parser, cam, PrintOnly()));
    TPixel lo = TopPixel(cam, -10, 40);
    TPixel hi = TopPixel(cam, 30, -10);
    TBounds b = BoundsOf(gl_, Is(kGridRgb));
    EXPECT_NEAR(b.MinX, lo.X, 2);
    EXPECT_NEAR(b.MaxX, hi.X, 2);
    EXPECT_NEAR(b.MinY, lo.Y, 2);
    EXPECT_NEAR(b.MaxY, hi.Y, 2);
    EXPECT_EQ(RunsInRow(gl_, TopPixel(cam, 0, 15).Y, Is(kGridRgb)), 5);
    EXPECT_EQ(RunsInColumn(gl_, TopPixel(cam, 5, 0).X, Is(kGridRgb)), 6);
}

// ---------------------------------------------------------------------------
// Camera

TEST_F(GCodeRender, TopViewShowsXRightAndYUp)
{
    TPath path;
    path.Run(2, 12, 8);  // drawn from x 7 to 12 at y 8
    TGCodeCamera cam = TopCamera(0, 0, 50);
    const int h = kSize / 2;
    ASSERT_TRUE(Draw(&path.Parser, cam, PrintOnly()));
    EXPECT_GT(CountIn(gl_, IsWarm, h + 2, 0, kSize - 1, h - 2), 5u);  // top right
    EXPECT_EQ(Warm(), CountIn(gl_, IsWarm, h + 2, 0, kSize - 1, h - 2));
    EXPECT_GT(CountAround(gl_, cam, 10, 8, IsWarm), 0u);

    // From below, G-code +Y points down the screen.
    cam.CamPitch = -kTopPitch;
    ASSERT_TRUE(Draw(&path.Parser, cam, PrintOnly()));
    EXPECT_GT(CountIn(gl_, IsWarm, h + 2, h + 2, kSize - 1, kSize - 1), 5u);  // bottom right
    EXPECT_EQ(Warm(), CountIn(gl_, IsWarm, h + 2, h + 2, kSize - 1, kSize - 1));
}

TEST_F(GCodeRender, PanShiftsTheSceneAlongSceneAxes)
{
    TPath path;
    path.Run(2, 12, 8);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    cam.CamPanX = 10;  // eye moves to +x: the path moves 10 units left
    ASSERT_TRUE(Draw(&path.Parser, cam, PrintOnly()));
    EXPECT_GT(CountAround(gl_, cam, 0, 8, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, 10, 8, IsWarm, 1), 0u);
}

TEST_F(GCodeRender, AxesOnlyWhenChecked)
{
    TPath path;
    path.Travel(0, 0);
    TGCodeCamera cam;  // oblique default angles
    cam.CamDist = 100;
    TGCodeViewOptions o = PrintOnly();
    o.Axes = true;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_GT(CountAll(gl_, Is(Rgb(1.0f, 0.2f, 0.2f))), 10u);
    EXPECT_GT(CountAll(gl_, Is(Rgb(0.2f, 1.0f, 0.2f))), 10u);
    EXPECT_GT(CountAll(gl_, Is(Rgb(0.2f, 0.2f, 1.0f))), 10u);
    o.Axes = false;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_EQ(CountAll(gl_, Is(Rgb(1.0f, 0.2f, 0.2f))), 0u);
    EXPECT_EQ(CountAll(gl_, Is(Rgb(0.2f, 1.0f, 0.2f))), 0u);
    EXPECT_EQ(CountAll(gl_, Is(Rgb(0.2f, 0.2f, 1.0f))), 0u);
}

// ---------------------------------------------------------------------------
// Which moves are drawn

TEST_F(GCodeRender, TravelAndIdleMovesOnlyWithShowTravel)
{
    TPath path;
    path.Travel(-15, -10);
    path.Travel(15, -10);
    path.Idle(15, 10);
    path.Idle(-15, 10);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    for (bool lighting : {false, true}) {
        TGCodeViewOptions o = PrintOnly();
        o.Lighting = lighting;
        o.ShowTravel = true;
        ASSERT_TRUE(Draw(&path.Parser, cam, o));
        // Unlit thin lines in their own greys whatever the lighting box says.
        EXPECT_GT(CountAround(gl_, cam, 0, -10, Is(kTravelRgb)), 0u) << "lighting " << lighting;
        EXPECT_GT(CountAround(gl_, cam, 15, 0, Is(kIdleRgb)), 0u) << "lighting " << lighting;
        EXPECT_GT(CountAround(gl_, cam, 0, 10, Is(kIdleRgb)), 0u) << "lighting " << lighting;
        EXPECT_EQ(CountAround(gl_, cam, 0, -10, Is(kIdleRgb, 1)), 0u) << "lighting " << lighting;
        EXPECT_EQ(CountAround(gl_, cam, 15, 0, Is(kTravelRgb, 1)), 0u) << "lighting " << lighting;

        o.ShowTravel = false;
        ASSERT_TRUE(Draw(&path.Parser, cam, o));
        EXPECT_EQ(CountAll(gl_, Is(kTravelRgb)), 0u) << "lighting " << lighting;
        EXPECT_EQ(CountAll(gl_, Is(kIdleRgb)), 0u) << "lighting " << lighting;
    }
}

TEST_F(GCodeRender, ShowPrintOffHidesPrintedMovesOnly)
{
    TPath path;
    path.Run(-15, 15, 0);
    path.Travel(-15, 10);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    o.ShowTravel = true;
    for (bool lighting : {false, true}) {
        o.Lighting = lighting;
        o.ShowPrint = true;
        ASSERT_TRUE(Draw(&path.Parser, cam, o));
        EXPECT_GT(CountAround(gl_, cam, 8, 0, IsWarm), 0u) << "lighting " << lighting;
        o.ShowPrint = false;
        ASSERT_TRUE(Draw(&path.Parser, cam, o));
        EXPECT_EQ(Warm(), 0u) << "lighting " << lighting;
        EXPECT_GT(CountAll(gl_, Is(kTravelRgb)), 10u) << "lighting " << lighting;
    }
}

TEST_F(GCodeRender, LayerLimitDrawsOnlyLayersUpToIt)
{
    TPath path;
    path.Run(-15, 15, -8);  // layer 0 in the lower half
    path.Travel(15, -15);
    path.Layer = 1;
    path.Run(-15, 15, 8);  // layer 1 in the upper half, travel included
    path.Travel(15, 15);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    o.ShowTravel = true;
    const int h = kSize / 2;
    for (int32_t sel : {-1, 1, 5}) {
        ASSERT_TRUE(Draw(&path.Parser, cam, o, sel));
        EXPECT_GT(CountIn(gl_, IsWarm, 0, 0, kSize - 1, h - 2), 5u) << "limit " << sel;
        EXPECT_GT(CountIn(gl_, IsWarm, 0, h + 2, kSize - 1, kSize - 1), 5u) << "limit " << sel;
        EXPECT_GT(CountIn(gl_, Is(kTravelRgb), 0, 0, kSize - 1, h - 2), 5u) << "limit " << sel;
    }
    ASSERT_TRUE(Draw(&path.Parser, cam, o, 0));
    EXPECT_EQ(CountIn(gl_, IsWarm, 0, 0, kSize - 1, h - 2), 0u);
    EXPECT_EQ(CountIn(gl_, Is(kTravelRgb), 0, 0, kSize - 1, h - 2), 0u);
    EXPECT_GT(CountIn(gl_, IsWarm, 0, h + 2, kSize - 1, kSize - 1), 5u);
    EXPECT_GT(CountIn(gl_, Is(kTravelRgb), 0, h + 2, kSize - 1, kSize - 1), 5u);
}

// Plain print at y -10, support at y 0, support interface at y 10.
void AddSupportScene(TPath& path)
{
    path.Run(-15, 15, -10);
    path.Feature = gfSupport;
    path.Run(-15, 15, 0);
    path.Feature = gfSupportInterface;
    path.Run(-15, 15, 10);
    path.Feature = gfNone;
}

TEST_F(GCodeRender, SupportHiddenWithoutShowSupport)
{
    TPath path;
    AddSupportScene(path);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_GT(CountAround(gl_, cam, 8, -10, Is(kPrintRgb)), 0u);
    EXPECT_GT(CountAround(gl_, cam, 8, 0, Is(kSupportRgb)), 0u);
    EXPECT_GT(CountAround(gl_, cam, 8, 10, Is(kInterfaceRgb)), 0u);

    o.ShowSupport = false;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_GT(CountAround(gl_, cam, 8, -10, Is(kPrintRgb)), 0u);
    EXPECT_EQ(CountAll(gl_, Is(kSupportRgb)), 0u);
    EXPECT_EQ(CountAll(gl_, Is(kInterfaceRgb)), 0u);
    EXPECT_EQ(CountIn(gl_, IsWarm, 0, 0, kSize - 1, TopPixel(cam, 0, -5).Y), 0u);
}

TEST_F(GCodeRender, SupportColoursHoldUnderColourByLayer)
{
    TPath path;
    AddSupportScene(path);
    ASSERT_EQ(path.Parser.LayerCount, 1);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    o.ColorByLayer = true;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    // One layer: the ramp still runs over at least one step, so layer 0 is blue.
    EXPECT_GT(CountAround(gl_, cam, 8, -10, Is(Rgb(0, 0, 1))), 0u);
    EXPECT_EQ(CountAll(gl_, Is(kPrintRgb)), 0u);
    EXPECT_GT(CountAround(gl_, cam, 8, 0, Is(kSupportRgb)), 0u);
    EXPECT_GT(CountAround(gl_, cam, 8, 10, Is(kInterfaceRgb)), 0u);
}

TEST_F(GCodeRender, ColourByLayerFollowsTheRamp)
{
    TPath path;
    for (int layer = 0; layer < 3; ++layer) {
        path.Layer = layer;
        path.Run(-15, 15, -10.0 + 10.0 * layer);
    }
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    o.ColorByLayer = true;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_GT(CountAround(gl_, cam, 8, -10, Is(Rgb(0, 0, 1))), 0u);
    EXPECT_GT(CountAround(gl_, cam, 8, 0, Is(Rgb(0, 1, 0))), 0u);
    EXPECT_GT(CountAround(gl_, cam, 8, 10, Is(Rgb(1, 0, 0))), 0u);
    EXPECT_EQ(CountAll(gl_, Is(kPrintRgb)), 0u);

    o.ColorByLayer = false;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    for (double y : {-10.0, 0.0, 10.0})
        EXPECT_GT(CountAround(gl_, cam, 8, y, Is(kPrintRgb)), 0u) << "y " << y;
    EXPECT_EQ(CountAll(gl_, Is(Rgb(0, 0, 1))), 0u);
}

TEST_F(GCodeRender, FirstPrintedMoveAfterABreakDrawsNothing)
{
    TPath path;
    path.Travel(-20, 10);  // break by (hidden) travel
    path.Print(-12, 10);
    path.Print(-4, 10);
    path.Idle(-20, 0);  // break by a non-extruding move
    path.Print(-12, 0);
    path.Print(-4, 0);
    path.Travel(-20, -10);
    path.Print(-12, -10);
    path.Print(-4, -10);
    path.Feature = gfSupport;
    path.Print(4, -10);  // support: a break only while support is hidden
    path.Feature = gfNone;
    path.Print(12, -10);
    path.Print(18, -10);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    for (bool lighting : {false, true}) {
        o.Lighting = lighting;
        o.ShowSupport = true;
        ASSERT_TRUE(Draw(&path.Parser, cam, o, -1, 1.0));
        for (double y : {10.0, 0.0, -10.0}) {
            EXPECT_EQ(CountAround(gl_, cam, -16, y, IsWarm), 0u) << "y " << y << " lighting " << lighting;
            EXPECT_GT(CountAround(gl_, cam, -8, y, IsWarm), 0u) << "y " << y << " lighting " << lighting;
        }
        EXPECT_GT(CountAround(gl_, cam, 0, -10, IsWarm), 0u) << "lighting " << lighting;
        EXPECT_GT(CountAround(gl_, cam, 8, -10, IsWarm), 0u) << "lighting " << lighting;
        EXPECT_GT(CountAround(gl_, cam, 15, -10, IsWarm), 0u) << "lighting " << lighting;

        // The hidden support move breaks the run: the move after it is lost too.
        o.ShowSupport = false;
        ASSERT_TRUE(Draw(&path.Parser, cam, o, -1, 1.0));
        EXPECT_GT(CountAround(gl_, cam, -8, -10, IsWarm), 0u) << "lighting " << lighting;
        EXPECT_EQ(CountAround(gl_, cam, 0, -10, IsWarm), 0u) << "lighting " << lighting;
        EXPECT_EQ(CountAround(gl_, cam, 8, -10, IsWarm), 0u) << "lighting " << lighting;
        EXPECT_GT(CountAround(gl_, cam, 15, -10, IsWarm), 0u) << "lighting " << lighting;
    }
}

TEST_F(GCodeRender, PrintedMoveFirstInTheFileDrawsNothing)
{
    TPath path;
    path.Print(-20, 0);  // starts where it ends
    path.Print(-12, 0);
    path.Print(-4, 0);
    path.Print(4, 0);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    ASSERT_TRUE(Draw(&path.Parser, cam, PrintOnly(), -1, 1.0));
    // Only the first move is lost, and it has no length: the run is whole.
    for (double x : {-16.0, -8.0, 0.0})
        EXPECT_GT(CountAround(gl_, cam, x, 0, IsWarm), 0u) << "x " << x;
}

// ---------------------------------------------------------------------------
// Boxes and lines

TEST_F(GCodeRender, VerticalPrintedMoveIsALineOnlyWithLightingOff)
{
    TPath path;
    path.Travel(0, -15, 5);
    path.Print(0, -10, 5);   // first of the run: not drawn
    path.Print(0, -10, 15);  // straight up
    // Front view: G-code Y to the right, Z up.
    TGCodeCamera cam;
    cam.CamYaw = 0;
    cam.CamPitch = 0;
    cam.CamDist = 50;
    cam.CamTargetY = 10;
    TGCodeViewOptions o = PrintOnly();
    o.Lighting = true;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_EQ(Warm(), 0u);
    o.Lighting = false;
    ASSERT_TRUE(Draw(&path.Parser, cam, o));
    EXPECT_GT(CountAll(gl_, Is(kPrintRgb)), 15u);
    // A vertical line: many rows, few columns.
    TBounds b = BoundsOf(gl_, IsWarm);
    EXPECT_GT(b.MaxY - b.MinY, 20);
    EXPECT_LT(b.MaxX - b.MinX, 4);
}

TEST_F(GCodeRender, LitBoxTopTakesTheLightFixedInTheScene)
{
    TPath path;
    path.Run(-20, 10, 0);
    TGCodeViewOptions o = PrintOnly();
    o.Lighting = true;
    // Top face normal (0, 1, 0) against the light direction (0.5, 1, 0.5):
    // global ambient 0.2 + light ambient 0.05 + diffuse 0.85 x cosine.
    float k = 0.25f + 0.85f * static_cast<float>(1.0 / std::sqrt(1.5));
    uint32_t lit = Rgb(1.0f * k, 0.55f * k, 0.0f);
    // Straight down, and obliquely from two sides: the top face keeps its
    // shade because the light turns with the scene, not with the eye.
    const double cameras[3][2] = {{0.0, kTopPitch}, {0.5, 0.8}, {2.5, 0.8}};
    for (const auto& yawPitch : cameras) {
        TGCodeCamera cam = TopCamera(0, 0, 50);
        cam.CamYaw = yawPitch[0];
        cam.CamPitch = yawPitch[1];
        ASSERT_TRUE(Draw(&path.Parser, cam, o, -1, 4.0));
        uint32_t c = gl_.PixelAt(kSize / 2, kSize / 2);
        EXPECT_TRUE(Near(c, lit, 3)) << "yaw " << yawPitch[0] << ": " << std::hex << c << " expected " << lit;
        // Box 4 units wide: several pixels across, not a thin line.
        EXPECT_GT(Warm(), 200u) << "yaw " << yawPitch[0];
    }
}

TEST_F(GCodeRender, EdgesOutlineBoxesOnlyWhenChecked)
{
    TPath path;
    path.Run(-20, 15, 0);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    o.Lighting = true;
    o.Edges = true;
    ASSERT_TRUE(Draw(&path.Parser, cam, o, -1, 4.0));
    EXPECT_GT(CountAll(gl_, Is(kEdgeRgb)), 30u);
    o.Edges = false;
    ASSERT_TRUE(Draw(&path.Parser, cam, o, -1, 4.0));
    EXPECT_EQ(CountAll(gl_, Is(kEdgeRgb)), 0u);
    // No boxes without lighting, so no edges either.
    o.Edges = true;
    o.Lighting = false;
    ASSERT_TRUE(Draw(&path.Parser, cam, o, -1, 4.0));
    EXPECT_EQ(CountAll(gl_, Is(kEdgeRgb)), 0u);
}

TEST_F(GCodeRender, UnlitLineWidthComesFromTheMoveFirst)
{
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    TPath recorded;  // width 0.4 recorded: 0.8 requested
    recorded.Run(-20, 10, 0);
    ASSERT_TRUE(Draw(&recorded.Parser, cam, o, -1, 0.4));
    size_t thinNarrowSlider = Warm();
    ASSERT_TRUE(Draw(&recorded.Parser, cam, o, -1, 4.0));
    size_t thinWideSlider = Warm();
    EXPECT_GT(thinNarrowSlider, 10u);
    EXPECT_EQ(thinNarrowSlider, thinWideSlider);

    TPath unrecorded;  // no width recorded: the viewer's 4.0 x 2
    unrecorded.Width = 0.0f;
    unrecorded.Run(-20, 10, 0);
    ASSERT_TRUE(Draw(&unrecorded.Parser, cam, o, -1, 4.0));
    EXPECT_GT(Warm(), 5 * thinWideSlider);
    TPath wide;  // recorded width 2: a 4-pixel line
    wide.Width = 2.0f;
    wide.Run(-20, 10, 0);
    ASSERT_TRUE(Draw(&wide.Parser, cam, o, -1, 0.4));
    EXPECT_GT(Warm(), 3 * thinNarrowSlider);
}

const char kQuarterArc[] = "G90\nM82\nG0 X20 Y0 Z0.2\nG1 X10 Y0 E1\n%s X0 Y10 I-10 J0 E2\n";

TGCodeParser* LoadArc(TGCodeParser& parser, const char* command, const char* name)
{
    char text[128];
    std::snprintf(text, sizeof text, kQuarterArc, command);
    std::string path = test::WriteTempFile(name, text);
    if (!parser.LoadFromFile(test::Wide(path))) return nullptr;
    return &parser;
}

TEST_F(GCodeRender, ArcsAreBoxChainsLitAndChordsUnlit)
{
    TGCodeParser g3;
    ASSERT_NE(LoadArc(g3, "G3", "arc_g3.gcode"), nullptr);
    ASSERT_EQ(g3.MoveCount, 3);
    ASSERT_EQ(g3.GetMove(2).Kind, 3);
    TGCodeCamera cam = TopCamera(0, 0, 50);
    TGCodeViewOptions o = PrintOnly();
    const double d = 10.0 / std::sqrt(2.0);  // the arc's middle at 45 degrees

    o.Lighting = true;
    ASSERT_TRUE(Draw(&g3, cam, o, -1, 1.0));
    EXPECT_GT(CountAround(gl_, cam, d, d, IsWarm), 0u);
    EXPECT_GT(CountAround(gl_, cam, 0, 10, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, 5, 5, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, -d, -d, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, 15, 0, IsWarm), 0u);  // first printed move

    o.Lighting = false;
    ASSERT_TRUE(Draw(&g3, cam, o, -1, 1.0));
    EXPECT_GT(CountAround(gl_, cam, 5, 5, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, d, d, IsWarm), 0u);

    // Clockwise between the same points: the long way round through -X, -Y.
    TGCodeParser g2;
    ASSERT_NE(LoadArc(g2, "G2", "arc_g2.gcode"), nullptr);
    o.Lighting = true;
    ASSERT_TRUE(Draw(&g2, cam, o, -1, 1.0));
    EXPECT_GT(CountAround(gl_, cam, -d, -d, IsWarm), 0u);
    EXPECT_GT(CountAround(gl_, cam, -10, 0, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, d, d, IsWarm), 0u);
    EXPECT_EQ(CountAround(gl_, cam, 5, 5, IsWarm), 0u);
}

}  // namespace
}  // namespace voxaro
