// The toolpath through vertex arrays, display lists and view-volume culling
// against the immediate-mode drawing it replaced: the same pixels whichever
// way the moves reach OpenGL.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "gcode_renderer.h"
#include "immediate_toolpath.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "test_files.h"

namespace voxaro {
namespace {

using namespace voxaro::test;

constexpr int kWidth = 200, kHeight = 150;

// Arcs both ways, travel and idle moves between printed runs, Z hops, support
// and interface (the interface with a width too small to count), over six
// layers: deterministic pseudo-random points.
std::string SyntheticToolpath()
{
    uint32_t seed = 7;
    auto rnd = [&seed](double lo, double hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * (seed >> 8) / 16777216.0;
    };
    std::string s = "G21\nG90\nM82\n";
    char line[160];
    double e = 0.0;
    for (int layer = 0; layer < 6; ++layer) {
        const double z = 0.2 + 0.2 * layer;
        std::snprintf(line, sizeof line,
                      ";LAYER_CHANGE\n;Z:%.2f\n; LAYER_HEIGHT:0.2\nG1 Z%.2f\n;TYPE:Perimeter\n; LINE_WIDTH:0.45\n", z,
                      z);
        s += line;
        for (int k = 0; k < 30; ++k) {
            std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f E%.4f\n", rnd(10, 50), rnd(10, 50), e += 0.1);
            s += line;
            if (k % 7 == 3) {
                std::snprintf(line, sizeof line, "G2 X%.3f Y%.3f I%.3f J%.3f E%.4f\n", rnd(25, 35), rnd(25, 35),
                              rnd(-8, 8), rnd(-8, 8), e += 0.2);
                s += line;
            }
            if (k % 9 == 5) std::snprintf(line, sizeof line, "G0 X%.3f Y%.3f\n", rnd(0, 60), rnd(0, 60)), s += line;
            if (k % 11 == 2) std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f\n", rnd(0, 60), rnd(0, 60)), s += line;
        }
        s += ";TYPE:Support material\n; LINE_WIDTH:1.2\n";
        for (int k = 0; k < 10; ++k)
            std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f E%.4f\n", rnd(60, 70), rnd(0, 10), e += 0.1), s += line;
        s += ";TYPE:Support material interface\n; LINE_WIDTH:0.005\n";
        for (int k = 0; k < 8; ++k) {
            std::snprintf(line, sizeof line, "G3 X%.3f Y%.3f I%.3f J%.3f E%.4f\n", rnd(60, 70), rnd(0, 10), rnd(-3, 3),
                          rnd(-3, 3), e += 0.1);
            s += line;
        }
        std::snprintf(line, sizeof line, "G1 Z%.2f E%.4f\n", z + 0.1, e + 0.05);
        s += line;
    }
    return s;
}

struct TCase {
    const char* Name;
    TGCodeViewOptions Options;  // travel, print, by layer, support, lighting, axes, edges
    int32_t LayerSel;
    double LineWidth;
};

const TCase kCases[] = {
    {"print", {false, true, false, false, true, false, false}, -1, 0.4},
    {"travel, support, edges", {true, true, false, true, true, false, true}, -1, 0.4},
    {"colour by layer, support, axes", {false, true, true, true, true, true, false}, -1, 0.7},
    {"layer limit, travel, edges", {true, true, false, false, true, false, true}, 3, 0.4},
    {"lighting off, wide lines", {false, true, true, true, false, false, false}, -1, 2.5},
    {"lighting off, travel", {true, true, false, true, false, false, false}, -1, 0.4},
    {"travel only", {true, false, false, false, true, false, false}, -1, 0.4},
};

class ToolpathBatches : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl_.Create(kWidth, kHeight));
        InitGLState(gl_.Api(), 0);
        ASSERT_TRUE(sample_.LoadFromFile(Wide(DataFile("prusaslicer_overhang_supports.gcode"))));
        ASSERT_TRUE(synthetic_.LoadFromFile(Wide(WriteTempFile("synthetic.gcode", SyntheticToolpath()))));
    }

    TGCodeFrame Frame(const TGCodeParser& parser, const TCase& c, const TGCodeCamera& cam) const
    {
        TGCodeFrame f;
        f.Parser = &parser;
        f.Camera = cam;
        f.Options = c.Options;
        f.LayerSel = c.LayerSel;
        f.LineWidth = c.LineWidth;
        f.Width = kWidth, f.Height = kHeight;
        return f;
    }
    std::vector<uint8_t> Immediate(const TGCodeFrame& f)
    {
        reference::DrawImmediateFrame(gl_.Api(), f);
        return gl_.ReadRGB();
    }
    std::vector<uint8_t> Batched(TGCodeFrame f, TToolpathCache* cache)
    {
        f.Cache = cache;
        DrawGCodeFrame(gl_.Api(), f);
        return gl_.ReadRGB();
    }
    // The idle work after a frame, all of it.
    void Compile(TGCodeFrame f, TToolpathCache* cache)
    {
        f.Cache = cache;
        while (CompileGCodeLists(gl_.Api(), f, 1.0)) {
        }
    }

    TOffscreenGL gl_;
    TGCodeParser sample_, synthetic_;
};

TGCodeCamera Fitted(const TGCodeParser& parser)
{
    TGCodeCamera cam;
    FitGCodeCamera(cam, &parser);
    ResetGCodeAngles(cam);
    return cam;
}

TGCodeCamera Turned(TGCodeCamera cam, double zoom)
{
    cam.CamYaw += 0.9;
    cam.CamPitch -= 0.2;
    cam.CamDist *= zoom;
    return cam;
}

// Pixels that differ, except travel grey (0.5, an exact half step) rounded
// the other way: Mesa's immediate mode sometimes sends the current colour per
// vertex and interpolates it to 127 instead of 128.
size_t Differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, bool allowHalfGrey)
{
    size_t n = 0;
    for (size_t i = 0; i + 2 < a.size(); i += 3) {
        const bool same = a[i] == b[i] && a[i + 1] == b[i + 1] && a[i + 2] == b[i + 2];
        const bool halfGrey = a[i] == a[i + 1] && a[i] == a[i + 2] && b[i] == b[i + 1] && b[i] == b[i + 2] &&
                              (a[i] == 127 || a[i] == 128) && (b[i] == 127 || b[i] == 128);
        if (!same && !(allowHalfGrey && halfGrey)) ++n;
    }
    return n;
}

// Streamed, the first frame of a cache, a frame from its lists after a turn,
// and a cache whose budget holds only part of the chunks:
// each equals the immediate picture of the same camera. (Close up, where
// primitives are clipped, Mesa's immediate mode splits a quad one way or the
// other depending on the draws batched with it; ours are always split alike.)
TEST_F(ToolpathBatches, EveryPathDrawsTheImmediatePicture)
{
    for (const TGCodeParser* parser : {&sample_, &synthetic_}) {
        const TGCodeCamera fitted = Fitted(*parser);
        for (const TCase& c : kCases) {
            SCOPED_TRACE(std::string(c.Name) + (parser == &sample_ ? ", slicer sample" : ", synthetic"));
            const bool tie = c.Options.ShowTravel && !c.Options.Lighting;
            const TGCodeFrame first = Frame(*parser, c, fitted);
            const TGCodeFrame turned = Frame(*parser, c, Turned(fitted, 1.3));
            const std::vector<uint8_t> want = Immediate(first), wantTurned = Immediate(turned);
            EXPECT_EQ(Differences(want, Batched(first, nullptr), tie), 0u) << "streamed";
            TToolpathCache cache, partial(1u << 20);
            EXPECT_EQ(Differences(want, Batched(first, &cache), tie), 0u) << "cache, first frame";
            Compile(first, &cache);
            EXPECT_EQ(Differences(wantTurned, Batched(turned, &cache), tie), 0u) << "cache, from its lists";
            EXPECT_EQ(Differences(want, Batched(first, &partial), tie), 0u) << "partial cache, first frame";
            Compile(first, &partial);
            EXPECT_EQ(Differences(wantTurned, Batched(turned, &partial), tie), 0u) << "partial cache, later";
            EXPECT_GT(cache.Stats().Listed, 0);
        }
    }
}

TEST_F(ToolpathBatches, ThumbnailDrawsTheImmediatePicture)
{
    for (const TGCodeParser* parser : {&sample_, &synthetic_})
        for (bool byLayer : {false, true}) {
            TOffscreenGL ours, theirs;  // a thumbnail always has a context of its own
            ASSERT_TRUE(theirs.Create(kWidth, kHeight));
            reference::DrawImmediateThumbnail(theirs.Api(), *parser, byLayer, kWidth, kHeight);
            const std::vector<uint8_t> want = theirs.ReadRGB();
            ASSERT_TRUE(ours.Create(kWidth, kHeight));
            DrawGCodeThumbnail(ours.Api(), *parser, byLayer, kWidth, kHeight);
            EXPECT_EQ(Differences(want, ours.ReadRGB(), false), 0u) << "colour by layer " << byLayer;
        }
}

// A driver that hands out no list names, or fails to compile one: every
// chunk is streamed, and the picture stays.
GLenum gFakeError = 0;
void(VOXARO_GLAPI* gRealEndList)() = nullptr;
TEST_F(ToolpathBatches, ListsRefusedByTheDriverLeaveChunksStreamed)
{
    const TGCodeFrame f = Frame(sample_, kCases[2], Turned(Fitted(sample_), 1.3));
    const std::vector<uint8_t> want = Immediate(f);
    const TGLApi real = gl_.Api();
    TGLApi noNames = real, outOfMemory = real;
    noNames.GenLists = [](GLsizei) -> GLuint { return 0; };
    outOfMemory.GetError = []() -> GLenum { return std::exchange(gFakeError, 0); };
    gRealEndList = real.EndList;
    outOfMemory.EndList = [] { gRealEndList(), gFakeError = gl::OUT_OF_MEMORY; };
    for (const TGLApi* api : {&noNames, &outOfMemory}) {
        TToolpathCache cache;
        TGCodeFrame g = f;
        g.Cache = &cache;
        DrawGCodeFrame(*api, g);
        EXPECT_FALSE(CompileGCodeLists(*api, g, 1.0));
        DrawGCodeFrame(*api, g);
        EXPECT_EQ(Differences(want, gl_.ReadRGB(), false), 0u);
        EXPECT_EQ(cache.Stats().Listed, 0);
        EXPECT_FALSE(cache.HasPending());
    }
}

// A process that grows by far more than the lists it is handed (a driver
// keeping copies) stops compiling when its growth reaches the budget; the
// rest is streamed and the picture does not change.
uint64_t gProbed = 0;
uint64_t GrowingProcess()
{
    return gProbed += 4u << 20;  // 4 MiB more at every look
}

TEST_F(ToolpathBatches, CompilingStopsWhenTheProcessHasGrownByTheBudget)
{
    const TGCodeFrame f = Frame(sample_, kCases[0], Fitted(sample_));
    const std::vector<uint8_t> want = Immediate(f);
    gProbed = 1u << 30;
    TToolpathCache cache(10u << 20, true, GrowingProcess), unbounded;
    for (TToolpathCache* c : {&cache, &unbounded}) {
        Batched(f, c);  // the first frame streams and lays out the chunks
        Compile(f, c);
    }
    EXPECT_LT(cache.Stats().Listed, unbounded.Stats().Listed);
    EXPECT_GT(cache.Stats().Listed, 0);
    EXPECT_LT(cache.Stats().Growth, (10u << 20) + (8u << 20));  // stopped at the first look past the budget
    EXPECT_FALSE(cache.HasPending());
    EXPECT_EQ(Differences(want, Batched(f, &cache), false), 0u);
}

// Close up, most chunks lie outside the view and are skipped: the picture is
// the one drawn with every chunk, from lists and streamed alike.
void ExpectCullingKeepsPixels(const TGCodeFrame& f, TOffscreenGL& gl)
{
    auto draw = [&](TToolpathCache& cache) {
        TGCodeFrame g = f;
        g.Cache = &cache;
        DrawGCodeFrame(gl.Api(), g);
        while (CompileGCodeLists(gl.Api(), g, 1.0)) {
        }
        return gl.ReadRGB();
    };
    TToolpathCache all(DefaultListBudget(), false), skipping, streaming(0);
    const std::vector<uint8_t> want = draw(all);
    for (int frame = 0; frame < 2; ++frame) {
        EXPECT_EQ(Differences(want, draw(skipping), false), 0u) << "frame " << frame;
        EXPECT_EQ(Differences(want, draw(streaming), false), 0u) << "frame " << frame;
    }
    EXPECT_GT(skipping.Stats().Culled, 0);
    EXPECT_LT(skipping.Stats().Culled, skipping.Stats().Chunks);
    EXPECT_EQ(streaming.Stats().Listed, 0);
}

TEST_F(ToolpathBatches, ChunksOutsideTheViewAreSkippedWithoutChangingPixels)
{
    TGCodeCamera close = Fitted(sample_);
    close.CamDist *= 0.08;
    close.CamPanX = 6.0;
    ExpectCullingKeepsPixels(Frame(sample_, kCases[1], close), gl_);
}

}  // namespace
}  // namespace voxaro
