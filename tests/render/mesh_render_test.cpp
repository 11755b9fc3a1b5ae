// Mesh drawing through the GL table, checked in pixels on OSMesa.
#include <gtest/gtest.h>

#include <cmath>

#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "pixels.h"
#include "test_files.h"

namespace voxaro {
namespace {

using namespace voxaro::test;

constexpr int kSize = 64;

// A square of side 2 at z = 0 facing +Z, as two triangles, in one colour.
void MakeSquare(TMeshData& mesh, bool withColour, uint8_t r = 255, uint8_t g = 0, uint8_t b = 0)
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

// Looks straight at the square: no rotation.
TMeshCamera HeadOn(float zoom = 1.0f)
{
    TMeshCamera cam;
    cam.RotX = 0;
    cam.RotY = 0;
    cam.Zoom = zoom;
    return cam;
}

class MeshRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl_.Create(kSize, kSize));
        InitGLState(gl_.Api(), 0);
    }
    void Draw(const TMeshData& mesh, const TMeshCamera& cam, uint8_t mode, bool dark, int w = kSize, int h = kSize)
    {
        DrawMeshFrame(gl_.Api(), mesh, cam, mode, dark, w, h);
    }
    TOffscreenGL gl_;
};

// Lit colour of a surface facing the viewer: global ambient 0.2 plus light 0's
// ambient 0.05 plus its diffuse 0.85 times the cosine to the light direction.
float HeadOnLighting()
{
    float lx = 0.6f, ly = 1.2f, lz = 2.0f;
    float cosine = lz / std::sqrt(lx * lx + ly * ly + lz * lz);
    return 0.2f + 0.05f + 0.85f * cosine;
}

TEST_F(MeshRender, BackgroundFollowsDarkFlag)
{
    TMeshData mesh;
    MakeSquare(mesh, false);
    Draw(mesh, HeadOn(5.0f), kModeSolid, false);
    EXPECT_TRUE(Near(gl_.PixelAt(0, 0), Rgb(0.80f, 0.82f, 0.87f)));
    Draw(mesh, HeadOn(5.0f), kModeSolid, true);
    EXPECT_TRUE(Near(gl_.PixelAt(0, 0), Rgb(0.11f, 0.11f, 0.14f)));
}

TEST_F(MeshRender, ModelWithoutColoursUsesFixedColourLit)
{
    TMeshData mesh;
    MakeSquare(mesh, false);
    float k = HeadOnLighting();
    Draw(mesh, HeadOn(), kModeSolid, false);
    EXPECT_TRUE(Near(gl_.PixelAt(kSize / 2 + 5, kSize / 2 - 9), Rgb(0.38f * k, 0.50f * k, 0.62f * k)))
        << std::hex << gl_.PixelAt(kSize / 2 + 5, kSize / 2 - 9);
    Draw(mesh, HeadOn(), kModeSolid, true);
    EXPECT_TRUE(Near(gl_.PixelAt(kSize / 2 + 5, kSize / 2 - 9), Rgb(0.48f * k, 0.60f * k, 0.72f * k)));
}

TEST_F(MeshRender, VertexColoursAreLitThroughColourMaterial)
{
    TMeshData mesh;
    MakeSquare(mesh, true, 255, 0, 0);
    Draw(mesh, HeadOn(), kModeSolid, false);
    EXPECT_TRUE(Near(gl_.PixelAt(kSize / 2 + 5, kSize / 2 - 9), Rgb(HeadOnLighting(), 0, 0)));
}

TEST_F(MeshRender, WireOnlyModeDrawsFlatWireColourAndNoSurface)
{
    for (bool material : {false, true}) {
        TMeshData mesh;
        MakeSquare(mesh, material, 255, 0, 0);
        Draw(mesh, HeadOn(), kModeWire, false);
        uint32_t wire = Rgb(0.2f, 0.3f, 0.4f);
        EXPECT_GT(CountNear(gl_, wire), static_cast<size_t>(kSize)) << "material " << material;
        EXPECT_TRUE(Near(gl_.PixelAt(kSize / 2 + 5, kSize / 2 - 9), Rgb(0.80f, 0.82f, 0.87f)));
        EXPECT_EQ(CountNear(gl_, Rgb(HeadOnLighting(), 0, 0), 8), 0u) << "vertex colours leak into the wires";

        Draw(mesh, HeadOn(), kModeWire, true);
        EXPECT_GT(CountNear(gl_, Rgb(0.7f, 0.8f, 0.9f)), static_cast<size_t>(kSize));
    }
}

TEST_F(MeshRender, OverlayModeBlendsWiresOverSurface)
{
    TMeshData mesh;
    MakeSquare(mesh, false);
    float k = HeadOnLighting();
    float surface[3] = {0.38f * k, 0.50f * k, 0.62f * k};
    Draw(mesh, HeadOn(), kModeSolid, false);
    EXPECT_EQ(CountNear(gl_, Rgb(surface[0] * 0.78f, surface[1] * 0.78f, surface[2] * 0.78f)), 0u);
    Draw(mesh, HeadOn(), kModeSolidWire, false);
    // Black at 22 % over the surface along the edges and the diagonal.
    EXPECT_GT(CountNear(gl_, Rgb(surface[0] * 0.78f, surface[1] * 0.78f, surface[2] * 0.78f)),
              static_cast<size_t>(kSize / 2));

    float dark[3] = {0.48f * k, 0.60f * k, 0.72f * k};
    Draw(mesh, HeadOn(), kModeSolidWire, true);
    auto over = [](float c) { return c * 0.78f + 0.22f; };  // white at 22 %
    EXPECT_GT(CountNear(gl_, Rgb(over(dark[0]), over(dark[1]), over(dark[2]))), static_cast<size_t>(kSize / 2));
}

// A mesh without an index array (STL, STEP) draws its records in order.
TEST_F(MeshRender, RecordsInOrderDrawAsTheirIndexedForm)
{
    TMeshData indexed, inOrder;
    MakeSquare(indexed, true, 0, 200, 0);
    MakeSquare(inOrder, true, 0, 200, 0);
    inOrder.Indices = {};
    for (uint8_t mode : {kModeSolid, kModeSolidWire, kModeWire}) {
        Draw(indexed, HeadOn(), mode, false);
        const std::vector<uint8_t> want = gl_.ReadRGB();
        Draw(inOrder, HeadOn(), mode, false);
        EXPECT_EQ(gl_.ReadRGB(), want) << "mode " << int(mode);
        const uint32_t background = gl_.PixelAt(0, 0);
        EXPECT_GT(CountAll(gl_, [background](uint32_t c) { return c != background; }), 100u) << "mode " << int(mode);
    }
}

TEST_F(MeshRender, ZeroSizedViewportDrawsNothing)
{
    TMeshData mesh;
    MakeSquare(mesh, false);
    gl_.Api().ClearColor(0, 1, 0, 1);
    gl_.Api().Clear(gl::COLOR_BUFFER_BIT);
    Draw(mesh, HeadOn(), kModeSolid, false, kSize, 0);
    Draw(mesh, HeadOn(), kModeSolid, false, 0, kSize);
    EXPECT_EQ(CountNear(gl_, 0x00FF00, 0), static_cast<size_t>(kSize * kSize));
}

TEST_F(MeshRender, CameraTurnsAndZoomsTheModel)
{
    TMeshData mesh;
    MakeSquare(mesh, false);
    uint32_t background = Rgb(0.80f, 0.82f, 0.87f);
    Draw(mesh, HeadOn(), kModeSolid, false);
    size_t headOn = CountNear(gl_, background);
    TMeshCamera turned = HeadOn();
    turned.RotY = 80;  // nearly edge-on
    Draw(mesh, turned, kModeSolid, false);
    EXPECT_GT(CountNear(gl_, background), headOn + kSize * kSize / 4);
    Draw(mesh, HeadOn(0.5f), kModeSolid, false);  // closer: the square fills more
    EXPECT_LT(CountNear(gl_, background), headOn);
}

TEST(MeshFrustum, NearPlaneHasFloorAndFarScalesWithRadius)
{
    TMeshFrustum f = ComputeMeshFrustum(0.1f, 1.0f, 200, 100);
    EXPECT_FLOAT_EQ(f.Near, 0.001f);
    EXPECT_FLOAT_EQ(f.Far, 20.0f);
    EXPECT_NEAR(f.Top, std::tan(20.0 * M_PI / 180.0) * 0.001, 1e-9);
    EXPECT_NEAR(f.Right, f.Top * 2.0, 1e-12);

    TMeshFrustum g = ComputeMeshFrustum(10.0f, 2.0f, 100, 100);
    EXPECT_FLOAT_EQ(g.Near, 0.05f);
    EXPECT_FLOAT_EQ(g.Distance, 60.0f);
}

}  // namespace
}  // namespace voxaro

namespace voxaro {
namespace {

TEST_F(MeshRender, HoleDrilledThroughABoxShowsTheBackground)
{
    // 40 x 30 x 20 with a round hole of radius 5 along z through its middle:
    // looking down the hole, the middle shows the background, the box around it.
    TMeshData mesh;
    ASSERT_TRUE(mesh.LoadFromFile(test::Wide(test::DataFile("occt_box_hole_ap214.step")), "")) << mesh.ErrorMsg;
    Draw(mesh, HeadOn(), kModeSolid, false);
    const uint32_t background = Rgb(0.80f, 0.82f, 0.87f);
    EXPECT_TRUE(Near(gl_.PixelAt(kSize / 2, kSize / 2), background)) << std::hex << gl_.PixelAt(kSize / 2, kSize / 2);
    EXPECT_FALSE(Near(gl_.PixelAt(kSize / 2 + 12, kSize / 2), background));
}

}  // namespace
}  // namespace voxaro
