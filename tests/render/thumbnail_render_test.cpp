// Thumbnail drawing of models and toolpaths, checked in pixels on OSMesa.
// Expected colours and positions are worked out here from the thumbnail
// rules (fixed angles, fixed lights, fixed colours), not taken from a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "GCodeParser.h"
#include "osmesa_gl.h"
#include "pixels.h"
#include "test_files.h"
#include "thumbnail_renderer.h"

namespace voxaro {
namespace {

using namespace voxaro::test;

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Colours and pixels

// Continuous screen position, top-left origin, in pixels.
struct TScreen {
    double X, Y;
};

// Pixel columns/rows whose centres lie inside a projected extent.
struct TExpectedBox {
    double MinX = 1e30, MinY = 1e30, MaxX = -1e30, MaxY = -1e30;
    void Add(const TScreen& s)
    {
        MinX = std::min(MinX, s.X), MaxX = std::max(MaxX, s.X);
        MinY = std::min(MinY, s.Y), MaxY = std::max(MaxY, s.Y);
    }
};

// Compares drawn extents with projected ones, clipped to a w x h picture.
void ExpectBoxMatches(const TBounds& got, const TExpectedBox& want, int w, int h, double tol)
{
    ASSERT_FALSE(got.Empty());
    EXPECT_NEAR(got.MinX, std::max(0.0, std::ceil(want.MinX - 0.5)), tol);
    EXPECT_NEAR(got.MaxX, std::min(w - 1.0, std::floor(want.MaxX - 0.5)), tol);
    EXPECT_NEAR(got.MinY, std::max(0.0, std::ceil(want.MinY - 0.5)), tol);
    EXPECT_NEAR(got.MaxY, std::min(h - 1.0, std::floor(want.MaxY - 0.5)), tol);
}

// Fills the whole buffer with a colour no thumbnail uses, to see whether a
// call drew anything.
const uint32_t kMarkerRgb = Rgb(1.0, 0.0, 1.0);
void FillMarker(const TOffscreenGL& gl)
{
    const TGLApi& api = gl.Api();
    api.Viewport(0, 0, gl.Width(), gl.Height());
    api.ClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    api.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    api.Finish();
}

// ---------------------------------------------------------------------------
// Mesh thumbnail

const uint32_t kMeshBackgroundRgb = Rgb(0.82, 0.84, 0.88);

// A square of side 2 in the z = 0 plane facing +Z, as two triangles.
void MakeSquare(TMeshData& mesh, bool withColour, uint8_t r, uint8_t g, uint8_t b)
{
    const float corners[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
    ASSERT_TRUE(mesh.Allocate(6, 6));
    for (int i = 0; i < 6; ++i) {
        mesh.Vertices[i] = {0, 0, 1, corners[i][0], corners[i][1], 0, r, g, b, 255};
        mesh.Indices[i] = static_cast<uint32_t>(i);
    }
    mesh.HasMaterial = withColour;
    mesh.ComputeBounds();
}

struct TVec {
    double X, Y, Z;
};

// The fixed thumbnail turn: 30 degrees about Y, then -20 degrees about X
// (applied to a model point in this order).
TVec TurnForThumbnail(const TVec& v)
{
    double ay = 30.0 * kPi / 180.0, ax = -20.0 * kPi / 180.0;
    TVec a = {v.X * std::cos(ay) + v.Z * std::sin(ay), v.Y, -v.X * std::sin(ay) + v.Z * std::cos(ay)};
    return {a.X, a.Y * std::cos(ax) - a.Z * std::sin(ax), a.Y * std::sin(ax) + a.Z * std::cos(ax)};
}

// Lighting factor of a surface with the given model normal: global ambient
// 0.2, light 0 ambient 0.05 and diffuse 0.85 from eye direction (0.6, 1.2, 2).
double MeshLighting(const TVec& normal)
{
    TVec n = TurnForThumbnail(normal);
    double ln = std::sqrt(0.6 * 0.6 + 1.2 * 1.2 + 2.0 * 2.0);
    double cosine = std::fabs((n.X * 0.6 + n.Y * 1.2 + n.Z * 2.0) / ln);  // two-sided
    return 0.2 + 0.05 + 0.85 * cosine;
}

// Screen position of a model point: eye 3 x radius away, 40 degree vertical
// field of view, model centred.
TScreen ProjectMesh(const TMeshData& mesh, const TVec& p, int w, int h)
{
    TVec e = TurnForThumbnail({p.X - mesh.CenterX, p.Y - mesh.CenterY, p.Z - mesh.CenterZ});
    double depth = 3.0 * mesh.Radius - e.Z;
    double t = std::tan(20.0 * kPi / 180.0);
    double nx = e.X / depth / (t * w / h);
    double ny = e.Y / depth / t;
    return {(nx + 1.0) * w / 2.0, (1.0 - ny) * h / 2.0};
}

class MeshThumbnail : public ::testing::Test {
protected:
    void Open(int w, int h) { ASSERT_TRUE(gl_.Create(w, h)); }
    TOffscreenGL gl_;
};

TEST_F(MeshThumbnail, BackgroundIsTheThumbnailGrey)
{
    Open(96, 96);
    TMeshData mesh;
    MakeSquare(mesh, false, 0, 0, 0);
    DrawMeshThumbnail(gl_.Api(), mesh, 96, 96);
    EXPECT_TRUE(Near(gl_.PixelAt(0, 0), kMeshBackgroundRgb)) << std::hex << gl_.PixelAt(0, 0);
    EXPECT_TRUE(Near(gl_.PixelAt(95, 95), kMeshBackgroundRgb)) << std::hex << gl_.PixelAt(95, 95);
}

TEST_F(MeshThumbnail, ModelWithoutColoursGetsFixedBlueGreyNotItsVertexBytes)
{
    Open(128, 128);
    TMeshData mesh;
    MakeSquare(mesh, false, 255, 0, 0);  // colour bytes present but not to be used
    DrawMeshThumbnail(gl_.Api(), mesh, 128, 128);
    double k = MeshLighting({0, 0, 1});
    uint32_t want = Rgb(0.42 * k, 0.54 * k, 0.66 * k);
    uint32_t got = gl_.PixelAt(64, 64);
    EXPECT_TRUE(Near(got, want, 3)) << std::hex << got << " want " << want;
}

TEST_F(MeshThumbnail, VertexColoursAreKept)
{
    Open(128, 128);
    TMeshData mesh;
    MakeSquare(mesh, true, 255, 0, 0);
    DrawMeshThumbnail(gl_.Api(), mesh, 128, 128);
    double k = MeshLighting({0, 0, 1});
    uint32_t got = gl_.PixelAt(64, 64);
    EXPECT_TRUE(Near(got, Rgb(k, 0, 0), 3)) << std::hex << got;
    EXPECT_GT(Red(got), Green(got) + 150);
    EXPECT_GT(Red(got), Blue(got) + 150);
}

// The square lands where the fixed camera puts it, also in a wide picture
// (vertical field of view kept, horizontal one widened).
TEST_F(MeshThumbnail, FixedCameraPlacesTheModel)
{
    for (auto size : {std::make_pair(128, 128), std::make_pair(192, 96), std::make_pair(80, 120)}) {
        int w = size.first, h = size.second;
        TOffscreenGL gl;
        ASSERT_TRUE(gl.Create(w, h));
        TMeshData mesh;
        MakeSquare(mesh, false, 0, 0, 0);
        DrawMeshThumbnail(gl.Api(), mesh, w, h);
        TExpectedBox want;
        for (double x : {-1.0, 1.0})
            for (double y : {-1.0, 1.0})
                want.Add(ProjectMesh(mesh, {x, y, 0}, w, h));
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        ExpectBoxMatches(BoundsOf(gl, [](uint32_t c) { return !Near(c, kMeshBackgroundRgb, 6); }), want, w, h, 1.0);
    }
}

// Each corner of the square lies where the fixed turn (30 degrees about Y,
// then -20 degrees about X) puts it: just inside it the model, just outside
// it the background. A turn the other way round misses these.
TEST_F(MeshThumbnail, FixedAnglesPutEachCornerInPlace)
{
    Open(128, 128);
    TMeshData mesh;
    MakeSquare(mesh, false, 0, 0, 0);
    DrawMeshThumbnail(gl_.Api(), mesh, 128, 128);
    TScreen corner[4];
    TScreen mid = {0, 0};
    const double xy[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int i = 0; i < 4; ++i) {
        corner[i] = ProjectMesh(mesh, {xy[i][0], xy[i][1], 0}, 128, 128);
        mid.X += corner[i].X / 4, mid.Y += corner[i].Y / 4;
    }
    for (int i = 0; i < 4; ++i) {
        double dx = mid.X - corner[i].X, dy = mid.Y - corner[i].Y;
        double len = std::hypot(dx, dy);
        dx *= 3.0 / len, dy *= 3.0 / len;
        uint32_t inside = gl_.PixelAt(static_cast<int>(corner[i].X + dx), static_cast<int>(corner[i].Y + dy));
        uint32_t outside = gl_.PixelAt(static_cast<int>(corner[i].X - dx), static_cast<int>(corner[i].Y - dy));
        EXPECT_FALSE(Near(inside, kMeshBackgroundRgb, 6)) << "corner " << i;
        EXPECT_TRUE(Near(outside, kMeshBackgroundRgb, 2)) << "corner " << i;
    }
}

TEST_F(MeshThumbnail, EmptyMeshOrNoSizeDrawsNothing)
{
    Open(64, 64);
    TMeshData empty;
    FillMarker(gl_);
    DrawMeshThumbnail(gl_.Api(), empty, 64, 64);
    EXPECT_EQ(CountAll(gl_, Is(kMarkerRgb, 0)), 64u * 64u);

    TMeshData mesh;
    MakeSquare(mesh, false, 0, 0, 0);
    for (auto size : {std::make_pair(0, 64), std::make_pair(64, 0), std::make_pair(-5, 64), std::make_pair(64, -1)}) {
        FillMarker(gl_);
        DrawMeshThumbnail(gl_.Api(), mesh, size.first, size.second);
        EXPECT_EQ(CountAll(gl_, Is(kMarkerRgb, 0)), 64u * 64u) << size.first << "x" << size.second;
    }
}

// ---------------------------------------------------------------------------
// G-code thumbnail

const uint32_t kGCodeBackgroundRgb = Rgb(0.04, 0.04, 0.06);
const uint32_t kGridRgb = Rgb(0.25, 0.25, 0.28);

// Lighting factor of a face whose scene normal is n: GL's default light
// colours (diffuse 1, no ambient) with global ambient 0.2, light direction
// (0.5, 1, 0.5) in scene axes.
double GCodeLighting(const TVec& n)
{
    double ln = std::sqrt(0.5 * 0.5 + 1.0 + 0.5 * 0.5);
    double nn = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
    double cosine = (n.X * 0.5 + n.Y * 1.0 + n.Z * 0.5) / (ln * nn);
    return 0.2 + std::max(0.0, cosine);
}
// Ribbon tops face straight up.
const double kTopLight = GCodeLighting({0, 1, 0});

TVec Sub(const TVec& a, const TVec& b)
{
    return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}
double Dot(const TVec& a, const TVec& b)
{
    return a.X * b.X + a.Y * b.Y + a.Z * b.Z;
}
TVec Cross(const TVec& a, const TVec& b)
{
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}
TVec Unit(const TVec& v)
{
    double l = std::sqrt(Dot(v, v));
    return {v.X / l, v.Y / l, v.Z / l};
}

// The thumbnail camera worked out from the parser's bounds: looking at the
// centre of the print bounds (or all bounds) from yaw 45 degrees and pitch
// 30 degrees, 2.5 x the largest extent away, 45 degree vertical field.
class TThumbView {
public:
    TThumbView(const TGCodeParser& p, int w, int h) : W_(w), H_(h)
    {
        double x0 = p.HasPrintBounds ? p.PrintMinX : p.MinX, x1 = p.HasPrintBounds ? p.PrintMaxX : p.MaxX;
        double y0 = p.HasPrintBounds ? p.PrintMinY : p.MinY, y1 = p.HasPrintBounds ? p.PrintMaxY : p.MaxY;
        double z0 = p.HasPrintBounds ? p.PrintMinZ : p.MinZ, z1 = p.HasPrintBounds ? p.PrintMaxZ : p.MaxZ;
        TVec centre = {(x0 + x1) / 2, (z0 + z1) / 2, -(y0 + y1) / 2};
        double dist = 2.5 * std::max({std::max(x1 - x0, 5.0), std::max(y1 - y0, 5.0), std::max(z1 - z0, 1.0)});
        double yaw = kPi / 4, pitch = kPi / 6;
        Eye_ = {centre.X + dist * std::cos(pitch) * std::cos(yaw), centre.Y + dist * std::sin(pitch),
                centre.Z + dist * std::cos(pitch) * std::sin(yaw)};
        Forward_ = Unit(Sub(centre, Eye_));
        Side_ = Unit(Cross(Forward_, {0, 1, 0}));
        Up_ = Cross(Side_, Forward_);
    }

    // Screen position of the G-code point (x, y, z).
    TScreen Project(double x, double y, double z) const
    {
        TVec r = Sub({x, z, -y}, Eye_);
        double depth = Dot(Forward_, r);
        double t = std::tan(22.5 * kPi / 180.0);
        double nx = Dot(Side_, r) / depth / (t * W_ / H_);
        double ny = Dot(Up_, r) / depth / t;
        return {(nx + 1.0) * W_ / 2.0, (1.0 - ny) * H_ / 2.0};
    }

private:
    int W_, H_;
    TVec Eye_, Forward_, Side_, Up_;
};

// Pixels matching test within radius pixels of a G-code point.
size_t CountAround(const TOffscreenGL& gl, const TThumbView& view, double x, double y, double z, const TPixelTest& test,
                   int radius)
{
    TScreen s = view.Project(x, y, z);
    int px = static_cast<int>(std::floor(s.X)), py = static_cast<int>(std::floor(s.Y));
    return CountIn(gl, test, px - radius, py - radius, px + radius, py + radius);
}

uint32_t PixelOf(const TOffscreenGL& gl, const TThumbView& view, double x, double y, double z)
{
    TScreen s = view.Project(x, y, z);
    return gl.PixelAt(static_cast<int>(std::floor(s.X)), static_cast<int>(std::floor(s.Y)));
}

bool OnScreen(const TOffscreenGL& gl, const TScreen& s, int margin)
{
    return s.X >= margin && s.Y >= margin && s.X < gl.Width() - margin && s.Y < gl.Height() - margin;
}

class GCodeThumbnail : public ::testing::Test {
protected:
    void Open(int w, int h) { ASSERT_TRUE(gl_.Create(w, h)); }
    // Writes text to a temporary G-code file and parses it.
    void Load(const std::string& name, const std::string& text)
    {
        std::string path = test::WriteTempFile(name, text);
        ASSERT_TRUE(parser_.LoadFromFile(test::Wide(path)));
    }
    bool Draw(bool colorByLayer = false)
    {
        return DrawGCodeThumbnail(gl_.Api(), parser_, colorByLayer, gl_.Width(), gl_.Height());
    }
    TOffscreenGL gl_;
    TGCodeParser parser_;
};

// One printed line from (1, 0) to (6, 0) at height 0.2; the move onto (1, 0)
// is the first of its run and draws nothing.
const char kOneLine[] = "G0 Z0.2\n"
                        "G0 X0 Y0\n"
                        "G1 X1 Y0 E1\n"
                        "G1 X6 Y0 E2\n";

// A printed square 0..10 x 0..10 at height 0.2 (the first 0.5 of its first
// side is the run's first move and draws nothing).
const char kSquare[] = "G0 Z0.2\n"
                       "G1 X0.5 Y0 E1\n"
                       "G1 X10 Y0 E2\n"
                       "G1 X10 Y10 E3\n"
                       "G1 X0 Y10 E4\n"
                       "G1 X0 Y0 E5\n";

TEST_F(GCodeThumbnail, BackgroundIsNearBlack)
{
    Open(128, 128);
    Load("bg.gcode", kOneLine);
    ASSERT_TRUE(Draw());
    // The top rows look past the floor (pitch 30, half field 22.5 degrees).
    for (int x : {0, 64, 127})
        EXPECT_TRUE(Near(gl_.PixelAt(x, 0), kGCodeBackgroundRgb)) << x << " " << std::hex << gl_.PixelAt(x, 0);
}

TEST_F(GCodeThumbnail, PrintedLineIsLitOrangeTop)
{
    Open(128, 128);
    Load("line.gcode", kOneLine);
    ASSERT_TRUE(Draw());
    TThumbView view(parser_, 128, 128);
    // Top face raised by half the default layer height 0.2.
    uint32_t want = Rgb(1.0 * kTopLight, 0.55 * kTopLight, 0.0);
    for (double x : {2.5, 3.5, 4.5}) {
        uint32_t got = PixelOf(gl_, view, x, 0.0, 0.3);
        EXPECT_TRUE(Near(got, want, 3)) << x << ": " << std::hex << got << " want " << want;
    }
    // Nothing from the first printed move of the run, before (1, 0).
    EXPECT_EQ(CountAround(gl_, view, 0.3, 0.0, 0.3, IsWarm, 1), 0u);
}

// The picture of the square lands where the fixed camera puts it, whatever
// the ribbon height: h = half the layer height above 0.01, else 0.1.
TEST_F(GCodeThumbnail, FixedCameraPlacesTheRibbonTops)
{
    struct TCase {
        const char* HeightComment;
        double H;
    };
    for (const TCase& c : {TCase{"", 0.1}, TCase{"; LAYER_HEIGHT: 4\n", 2.0}, TCase{"; LAYER_HEIGHT: 0.005\n", 0.1}}) {
        SCOPED_TRACE(c.HeightComment);
        TOffscreenGL gl;
        ASSERT_TRUE(gl.Create(128, 96));
        TGCodeParser parser;
        std::string file = test::WriteTempFile("square.gcode", std::string(c.HeightComment) + kSquare);
        ASSERT_TRUE(parser.LoadFromFile(test::Wide(file)));
        ASSERT_TRUE(DrawGCodeThumbnail(gl.Api(), parser, false, 128, 96));
        TThumbView view(parser, 128, 96);
        // Corners of the four drawn ribbons, 0.2 to each side of the path.
        TExpectedBox want;
        const double path[5][2] = {{0.5, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
        for (int i = 0; i < 4; ++i) {
            double dx = path[i + 1][0] - path[i][0], dy = path[i + 1][1] - path[i][1];
            double len = std::hypot(dx, dy);
            double sx = -dy / len * 0.2, sy = dx / len * 0.2;  // side offset in G-code x, y
            for (int end = 0; end < 2; ++end)
                for (double side : {-1.0, 1.0})
                    want.Add(view.Project(path[i + end][0] + side * sx, path[i + end][1] + side * sy, 0.2 + c.H));
        }
        ExpectBoxMatches(BoundsOf(gl, IsWarm), want, 128, 96, 1.5);
    }
}

TEST_F(GCodeThumbnail, TravelAndNonExtrudingMovesAreNeverDrawn)
{
    // With non-extruding G1 moves the bounds come from those; with rapid
    // moves only from all moves. Either way: background and grid only.
    const char* files[] = {"G0 Z0.2\nG0 X10 Y10\nG1 X20 Y10\nG0 X20 Y20\nG1 X12 Y18 F1200\n",
                           "G0 Z0.2\nG0 X10 Y10\nG0 X20 Y20\nG0 X3 Y17\n"};
    for (const char* text : files) {
        SCOPED_TRACE(text);
        TOffscreenGL gl;
        ASSERT_TRUE(gl.Create(128, 128));
        TGCodeParser parser;
        ASSERT_TRUE(parser.LoadFromFile(test::Wide(test::WriteTempFile("travel.gcode", text))));
        ASSERT_GT(parser.MoveCount, 0);
        ASSERT_TRUE(DrawGCodeThumbnail(gl.Api(), parser, false, 128, 128));
        size_t grid = CountAll(gl, Is(kGridRgb));
        size_t background = CountAll(gl, Is(kGCodeBackgroundRgb));
        EXPECT_GT(grid, 50u);
        EXPECT_GT(background, 128u * 64u);
        EXPECT_EQ(grid + background, 128u * 128u);
    }
}

// A printed move drawn only when the move before it was printed as well: a
// travel or a non-extruding move starts a new run whose first move draws
// nothing.
TEST_F(GCodeThumbnail, FirstPrintedMoveOfEachRunDrawsNothing)
{
    Open(128, 128);
    Load("runs.gcode", "G0 Z0.2\n"
                       "G1 X5 Y0 E1\n"    // run 1, first
                       "G0 X0 Y3\n"       // travel
                       "G1 X5 Y3 E2\n"    // run 2, first
                       "G1 X0 Y6\n"       // not extruding
                       "G1 X5 Y6 E3\n"    // run 3, first
                       "G1 X0 Y9 E2\n"    // retraction: E goes back
                       "G1 X5 Y9 E4\n");  // run 4, first
    ASSERT_TRUE(Draw());
    EXPECT_EQ(CountAll(gl_, IsWarm), 0u);
    EXPECT_GT(CountAll(gl_, Is(kGridRgb)), 50u);

    // A second printed move straight after the first is drawn.
    TGCodeParser joined;
    std::string file = test::WriteTempFile("joined.gcode", "G0 Z0.2\nG1 X5 Y0 E1\nG1 X5 Y9 E2\n");
    ASSERT_TRUE(joined.LoadFromFile(test::Wide(file)));
    ASSERT_TRUE(DrawGCodeThumbnail(gl_.Api(), joined, false, 128, 128));
    TThumbView view(joined, 128, 128);
    EXPECT_GT(CountAround(gl_, view, 5.0, 4.5, 0.3, IsWarm, 1), 0u);
    EXPECT_EQ(CountAround(gl_, view, 2.5, 0.0, 0.3, IsWarm, 1), 0u);
}

// Grid lines every 10 units over the print bounds rounded outwards plus one
// step; a rapid move far outside does not widen it.
TEST_F(GCodeThumbnail, GridSpansPrintBoundsWithOneStepMargin)
{
    Open(256, 256);
    Load("grid.gcode", "G0 Z0.2\n"
                       "G0 X-60 Y50\n"
                       "G0 X5 Y5\n"
                       "G1 X6 Y5 E1\n"
                       "G1 X95 Y5 E2\n"
                       "G1 X95 Y95 E3\n"
                       "G1 X5 Y95 E4\n"
                       "G1 X5 Y5 E5\n");
    ASSERT_TRUE(parser_.HasPrintBounds);
    ASSERT_TRUE(Draw());
    TThumbView view(parser_, 256, 256);
    // Bounds 5..95 in x and y: lines from -10 to 110.
    struct TPoint {
        double X, Y;
    };
    for (TPoint p : {TPoint{-10, 50}, TPoint{110, 50}, TPoint{50, -10}, TPoint{50, 110}, TPoint{30, 30}}) {
        ASSERT_TRUE(OnScreen(gl_, view.Project(p.X, p.Y, 0), 4));
        EXPECT_GT(CountAround(gl_, view, p.X, p.Y, 0.0, Is(kGridRgb), 1), 0u) << p.X << ", " << p.Y;
    }
    for (TPoint p :
         {TPoint{-20, 50}, TPoint{120, 50}, TPoint{50, -20}, TPoint{50, 120}, TPoint{0, -20}, TPoint{-20, 0}}) {
        ASSERT_TRUE(OnScreen(gl_, view.Project(p.X, p.Y, 0), 4));
        EXPECT_EQ(CountAround(gl_, view, p.X, p.Y, 0.0, Is(kGridRgb, 6), 2), 0u) << p.X << ", " << p.Y;
    }
}

TEST_F(GCodeThumbnail, SupportKeepsItsColourUnderColourByLayer)
{
    Open(128, 128);
    Load("support.gcode", "G0 Z0.2\n"
                          ";TYPE:Support\n"
                          "G1 X1 Y0 E1\n"
                          "G1 X6 Y0 E2\n"
                          ";TYPE:Support material interface\n"
                          "G1 X6 Y2 E3\n"
                          ";TYPE:External perimeter\n"
                          "G0 X0 Y4\n"
                          "G1 X1 Y4 E4\n"
                          "G1 X6 Y4 E5\n");
    TThumbView view(parser_, 128, 128);
    const uint32_t support = Rgb(1.0 * kTopLight, 0.45 * kTopLight, 0.0);
    for (bool byLayer : {false, true}) {
        SCOPED_TRACE(byLayer);
        ASSERT_TRUE(Draw(byLayer));
        EXPECT_TRUE(Near(PixelOf(gl_, view, 3.5, 0.0, 0.3), support, 3)) << std::hex << PixelOf(gl_, view, 3.5, 0, 0.3);
        EXPECT_TRUE(Near(PixelOf(gl_, view, 6.0, 1.0, 0.3), support, 3)) << std::hex << PixelOf(gl_, view, 6, 1, 0.3);
    }
    // The wall, on the only printed layer (layer 1 of layers 0..1, the
    // highest), is red under colour by layer and orange without it.
    ASSERT_TRUE(Draw(true));
    EXPECT_TRUE(Near(PixelOf(gl_, view, 3.5, 4.0, 0.3), Rgb(1.0 * kTopLight, 0.0, 0.0), 3));
    ASSERT_TRUE(Draw(false));
    EXPECT_TRUE(Near(PixelOf(gl_, view, 3.5, 4.0, 0.3), Rgb(1.0 * kTopLight, 0.55 * kTopLight, 0.0), 3));
}

// Colour by layer runs blue (layer 0) to red (highest); layers past the
// ramp's end take magenta-ish sector-5 colours, not white.
TEST_F(GCodeThumbnail, LayerRampEndsAndLayersBeyondIt)
{
    Open(128, 128);
    auto build = [](TGCodeParser& p, int32_t layer) {
        auto add = [&p, layer](uint8_t kind, double x, bool extrude) {
            TGCodeMove m{};
            m.Kind = kind, m.X = x, m.Y = 0, m.Z = 0.2, m.Extrude = extrude;
            m.Layer = layer, m.LayerHeight = 0.2f, m.LineWidth = 0.4f;
            p.AddMove(m);
            p.UpdateBounds(m);
        };
        add(0, 0, false);
        add(1, 1, true);
        add(1, 6, true);
        p.LayerCount = 3;  // highest layer 2
        p.ComputePrintBounds();
    };
    struct TCase {
        int32_t Layer;
        double R, G, B;
    };
    // Layer 0: hue 240 (blue); layer 1: hue 120 (green); layer 2: hue 0
    // (red); layer 3: t = 1.5, hue -2 sixths, sector -2 -> (1, 0, q), q = 1.
    for (const TCase& c : {TCase{0, 0, 0, 1}, TCase{1, 0, 1, 0}, TCase{2, 1, 0, 0}, TCase{3, 1, 0, 1}}) {
        SCOPED_TRACE(c.Layer);
        TGCodeParser p;
        build(p, c.Layer);
        ASSERT_TRUE(DrawGCodeThumbnail(gl_.Api(), p, true, 128, 128));
        TThumbView view(p, 128, 128);
        uint32_t got = PixelOf(gl_, view, 3.5, 0.0, 0.3);
        uint32_t want = Rgb(c.R * kTopLight, c.G * kTopLight, c.B * kTopLight);
        EXPECT_TRUE(Near(got, want, 3)) << std::hex << got << " want " << want;
    }
}

// Arcs are one straight lit line from start to end: pixels along the chord,
// none where the arc itself would pass.
TEST_F(GCodeThumbnail, ArcsAreDrawnAsChords)
{
    Open(128, 128);
    // The run starts at (0, 0); then two counter-clockwise half circles
    // around (5, 0): to (10, 0) through (5, -5), and back to (0, 0) through
    // (5, 5). Both chords lie on y = 0.
    Load("arcs.gcode", "G0 Z0.2\n"
                       "G0 X-1 Y0\n"
                       "G1 X0 Y0 E1\n"
                       "G3 X10 Y0 I5 J0 E2\n"
                       "G3 X0 Y0 I-5 J0 E3\n");
    ASSERT_TRUE(Draw());
    TThumbView view(parser_, 128, 128);
    for (double x : {1.5, 3.0, 5.0, 7.0, 8.5})
        EXPECT_GT(CountAround(gl_, view, x, 0.0, 0.2, IsWarm, 1), 0u) << x;
    for (double angle : {45.0, 90.0, 135.0, 225.0, 270.0, 315.0}) {
        double x = 5.0 + 5.0 * std::cos(angle * kPi / 180.0), y = 5.0 * std::sin(angle * kPi / 180.0);
        ASSERT_TRUE(OnScreen(gl_, view.Project(x, y, 0.2), 3));
        EXPECT_EQ(CountAround(gl_, view, x, y, 0.2, IsWarm, 2), 0u) << angle;
    }
}

// Widening the picture widens only the horizontal field: the toolpath keeps
// its size in pixels and moves to the new middle.
TEST_F(GCodeThumbnail, WiderPictureKeepsVerticalField)
{
    TBounds box[2];
    const int widths[2] = {128, 256};
    for (int i = 0; i < 2; ++i) {
        TOffscreenGL gl;
        ASSERT_TRUE(gl.Create(widths[i], 96));
        TGCodeParser parser;
        ASSERT_TRUE(parser.LoadFromFile(test::Wide(test::WriteTempFile("wide.gcode", kSquare))));
        ASSERT_TRUE(DrawGCodeThumbnail(gl.Api(), parser, false, widths[i], 96));
        box[i] = BoundsOf(gl, IsWarm);
        ASSERT_FALSE(box[i].Empty());
    }
    EXPECT_NEAR(box[1].MaxY - box[1].MinY, box[0].MaxY - box[0].MinY, 1);
    EXPECT_NEAR(box[1].MaxX - box[1].MinX, box[0].MaxX - box[0].MinX, 1);
    EXPECT_NEAR(box[1].MinY, box[0].MinY, 1);
    EXPECT_NEAR(box[1].MinX, box[0].MinX + 64, 1);
}

TEST_F(GCodeThumbnail, NoMovesOrNoSizeReturnsFalseAndDrawsNothing)
{
    Open(64, 64);
    Load("comments.gcode", "; generated by hand\n; nothing but comments\nM104 S200\n");
    ASSERT_EQ(parser_.MoveCount, 0);
    FillMarker(gl_);
    EXPECT_FALSE(Draw());
    EXPECT_EQ(CountAll(gl_, Is(kMarkerRgb, 0)), 64u * 64u);

    TGCodeParser lines;
    ASSERT_TRUE(lines.LoadFromFile(test::Wide(test::WriteTempFile("sized.gcode", kOneLine))));
    for (auto size : {std::make_pair(0, 64), std::make_pair(64, 0), std::make_pair(-1, 64), std::make_pair(64, -3)}) {
        FillMarker(gl_);
        EXPECT_FALSE(DrawGCodeThumbnail(gl_.Api(), lines, false, size.first, size.second));
        EXPECT_EQ(CountAll(gl_, Is(kMarkerRgb, 0)), 64u * 64u) << size.first << "x" << size.second;
    }
}

}  // namespace
}  // namespace voxaro
