// A STEP part made by a CAD kernel, drawn as the viewer draws it: its face
// colours show, and the part fills its place on screen.
#include <gtest/gtest.h>

#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "pixels.h"
#include "test_files.h"

namespace voxaro {
namespace {

using namespace voxaro::test;

TEST(StepRender, ColouredPartInTheDefaultView)
{
    TMeshData mesh;
    ASSERT_TRUE(mesh.LoadFromFile(Wide(DataFile("occt_coloured_faces.step")), "")) << mesh.ErrorMsg;
    constexpr int kW = 160, kH = 120;
    TOffscreenGL gl;
    ASSERT_TRUE(gl.Create(kW, kH));
    InitGLState(gl.Api(), 0);
    DrawMeshFrame(gl.Api(), mesh, TMeshCamera{}, 0, false, kW, kH);

    // The red top faces (204, 51, 51), lit, and the green front face (51, 153,
    // 51), which faces down and away from the light.
    const size_t red = CountAll(gl, [](uint32_t c) { return Red(c) > Green(c) + 60 && Red(c) > Blue(c) + 60; });
    const size_t green =
        CountAll(gl, [](uint32_t c) { return Green(c) > 2 * Red(c) && Green(c) > 2 * Blue(c) && Green(c) > 20; });
    const size_t part = CountAll(gl, [](uint32_t c) { return !Near(c, Rgb(0.80, 0.82, 0.87), 3); });
    EXPECT_GT(red, 200u);
    EXPECT_GT(green, 50u);
    // The L-shaped part spans about a third of the picture at the default distance.
    EXPECT_GT(part, static_cast<size_t>(kW * kH / 8));
    EXPECT_LT(part, static_cast<size_t>(kW * kH / 2));
    const TBounds box = BoundsOf(gl, [](uint32_t c) { return !Near(c, Rgb(0.80, 0.82, 0.87), 3); });
    EXPECT_LT(std::abs((box.MinX + box.MaxX) / 2 - kW / 2), kW / 8);  // centred on the model
}

}  // namespace
}  // namespace voxaro
