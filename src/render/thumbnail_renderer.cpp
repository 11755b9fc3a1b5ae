#include "thumbnail_renderer.h"

#include "scene_view.h"

#include <algorithm>
#include <cmath>

#include "camera.h"
#include "gcode_renderer.h"
#include "mesh_renderer.h"

namespace voxaro {

namespace {

// ---------------------------------------------------------------------------
// Mesh thumbnail

constexpr float kMeshBackground[4] = {0.82f, 0.84f, 0.88f, 1.0f};
constexpr float kMeshModelColor[3] = {0.42f, 0.54f, 0.66f};
// The viewer's default angles, no zoom, no pan.
constexpr float kMeshRotX = -20.0f;
constexpr float kMeshRotY = 30.0f;

void SetMeshThumbnailState(const GLApi& gl)
{
    SetShadingState(gl);  // no perspective hint here
    // Whether or not the pixel format has samples.
    gl.Enable(gl::MULTISAMPLE);
}

// ---------------------------------------------------------------------------
// G-code thumbnail

constexpr double kYaw = 0.7853981633974483;    // pi/4
constexpr double kPitch = 0.5235987755982988;  // pi/6
constexpr double kMinExtentXY = 5.0;
constexpr double kMinExtentZ = 1.0;
constexpr double kDistanceFactor = 2.5;
constexpr double kGridStep = 10.0;
constexpr double kRibbonHalfWidth = 0.2;  // a fixed 0.4 mm ribbon
constexpr double kMinDirectionLength = 1e-5;

constexpr TColor kBackground = {0.04f, 0.04f, 0.06f, 1.0f};
constexpr TColor kGridColor = {0.25f, 0.25f, 0.28f, 0.6f};
constexpr TColor kSupportColor = {1.0f, 0.45f, 0.0f, 1.0f};
constexpr TColor kPrintColor = {1.0f, 0.55f, 0.0f, 1.0f};
// Directional light, fixed in scene axes.
constexpr float kLightDirection[4] = {0.5f, 1.0f, 0.5f, 0.0f};

void SceneVertex(const GLApi& gl, double x, double y, double z)
{
    gl.Vertex3f(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

// G-code point (x, y, z) at scene (x, z, -y).
void GCodeVertex(const GLApi& gl, double x, double y, double z)
{
    TScenePoint p = ToScene(x, y, z);
    gl.Vertex3f(p.X, p.Y, p.Z);
}

// The box the thumbnail is fitted to, in G-code axes.
struct TBox {
    double MinX, MaxX, MinY, MaxY, MinZ, MaxZ;
};

TBox FitBounds(const TGCodeParser& parser)
{
    if (parser.HasPrintBounds)
        return {parser.PrintMinX, parser.PrintMaxX, parser.PrintMinY,
                parser.PrintMaxY, parser.PrintMinZ, parser.PrintMaxZ};
    return {parser.MinX, parser.MaxX, parser.MinY, parser.MaxY, parser.MinZ, parser.MaxZ};
}

void SetGCodeState(const GLApi& gl, int width, int height)
{
    gl.Enable(gl::DEPTH_TEST);
    gl.Enable(gl::LIGHTING);
    gl.Enable(gl::LIGHT0);
    gl.Enable(gl::COLOR_MATERIAL);
    gl.ColorMaterial(gl::FRONT_AND_BACK, gl::AMBIENT_AND_DIFFUSE);
    gl.Enable(gl::NORMALIZE);
    gl.Enable(gl::POLYGON_OFFSET_FILL);
    gl.PolygonOffset(1.0f, 1.0f);
    gl.ClearColor(kBackground.R, kBackground.G, kBackground.B, kBackground.A);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
}

// Projection with a 45 degree vertical field of view and a look-at from the
// fixed angles towards the centre of the box.
void ApplyGCodeCamera(const GLApi& gl, const TBox& b, int width, int height)
{
    TVec3 centre = {(b.MinX + b.MaxX) / 2.0, (b.MinZ + b.MaxZ) / 2.0, -(b.MinY + b.MaxY) / 2.0};
    double extentX = std::max(b.MaxX - b.MinX, kMinExtentXY);
    double extentY = std::max(b.MaxY - b.MinY, kMinExtentXY);
    double extentZ = std::max(b.MaxZ - b.MinZ, kMinExtentZ);
    double distance = kDistanceFactor * std::max({extentX, extentY, extentZ});

    TVec3 eye = OrbitEye(centre, distance, kYaw, kPitch);
    ApplyToolpathProjection(gl, width, height);
    LoadLookAtRotation(gl, eye, centre, {0.0, 1.0, 0.0});
    gl.Translated(-eye.X, -eye.Y, -eye.Z);
}

// Floor grid at height 0 over the box with a margin of one step.
void DrawGrid(const GLApi& gl, const TBox& b)
{
    double x0 = std::floor(b.MinX / kGridStep) * kGridStep - kGridStep;
    double x1 = std::ceil(b.MaxX / kGridStep) * kGridStep + kGridStep;
    double y0 = std::floor(b.MinY / kGridStep) * kGridStep - kGridStep;
    double y1 = std::ceil(b.MaxY / kGridStep) * kGridStep + kGridStep;
    SetColor(gl, kGridColor);
    gl.LineWidth(1.0f);
    gl.Begin(gl::LINES);
    for (double x = x0; x <= x1 + 0.01; x += kGridStep) {
        GCodeVertex(gl, x, y0, 0.0);
        GCodeVertex(gl, x, y1, 0.0);
    }
    for (double y = y0; y <= y1 + 0.01; y += kGridStep) {
        GCodeVertex(gl, x0, y, 0.0);
        GCodeVertex(gl, x1, y, 0.0);
    }
    gl.End();
}

// The layer ramp of the G-code view, except that a negative sector (layers
// far above the highest) keeps the last sector's colour instead of white.
void SetThumbnailLayerColor(const GLApi& gl, int layer, int highestLayer)
{
    double t = static_cast<double>(layer) / highestLayer;
    double hue = (1.0 - t) * 240.0 / 60.0;
    int i = static_cast<int>(hue);  // truncated toward zero
    if (i % 6 < 0) {
        float q = 1.0f - static_cast<float>(hue - i);
        gl.Color4f(1.0f, 0.0f, q, 1.0f);
        return;
    }
    SetLayerColor(gl, layer, highestLayer, 1.0f);
}

void SetPrintColor(const GLApi& gl, const TGCodeMove& m, bool colorByLayer, int highestLayer)
{
    if (m.Feature == gfSupport || m.Feature == gfSupportInterface)
        SetColor(gl, kSupportColor);
    else if (colorByLayer)
        SetThumbnailLayerColor(gl, m.Layer, highestLayer);
    else
        SetColor(gl, kPrintColor);
}

// Top face of a fixed-width ribbon from prev's end to m's end, each end
// raised by h above its own height.
void DrawRibbonTop(const GLApi& gl, const TGCodeMove& prev, const TGCodeMove& m, double h)
{
    double dx = m.X - prev.X;
    double dz = -(m.Y - prev.Y);
    double len = std::sqrt(dx * dx + dz * dz);
    if (len > kMinDirectionLength) {
        dx /= len;
        dz /= len;
    }
    double px = -dz * kRibbonHalfWidth;
    double pz = dx * kRibbonHalfWidth;
    gl.Begin(gl::QUADS);
    gl.Normal3f(0.0f, 1.0f, 0.0f);
    SceneVertex(gl, prev.X - px, prev.Z + h, -prev.Y - pz);
    SceneVertex(gl, prev.X + px, prev.Z + h, -prev.Y + pz);
    SceneVertex(gl, m.X + px, m.Z + h, -m.Y + pz);
    SceneVertex(gl, m.X - px, m.Z + h, -m.Y - pz);
    gl.End();
}

void DrawPrintedMove(const GLApi& gl, const TGCodeMove& prev, const TGCodeMove& m)
{
    if (m.Kind == 2 || m.Kind == 3) {
        // Arcs as their chord.
        gl.Begin(gl::LINES);
        GCodeVertex(gl, prev.X, prev.Y, prev.Z);
        GCodeVertex(gl, m.X, m.Y, m.Z);
        gl.End();
        return;
    }
    double h = m.LayerHeight > 0.01f ? m.LayerHeight * 0.5 : 0.1;
    DrawRibbonTop(gl, prev, m, h);
}

void DrawMoves(const GLApi& gl, const TGCodeParser& parser, bool colorByLayer)
{
    int highestLayer = std::max(parser.LayerCount - 1, 1);
    TGCodeMove prev = parser.GetMove(0);
    // A printed move is drawn only when the move before it was printed too:
    // the first one after any break draws nothing.
    bool prevPrinted = false;
    for (int32_t i = 0; i < parser.MoveCount; ++i) {
        TGCodeMove m = parser.GetMove(i);
        bool linear = m.Kind == 1 || m.Kind == 2 || m.Kind == 3;
        if (m.Kind == 0 || (linear && !m.Extrude)) {
            prevPrinted = false;
        } else if (linear) {
            SetPrintColor(gl, m, colorByLayer, highestLayer);
            if (prevPrinted) DrawPrintedMove(gl, prev, m);
            prevPrinted = true;
        }
        prev = m;
    }
}

}  // namespace

void DrawMeshThumbnail(const GLApi& gl, const TMeshData& mesh, int width, int height)
{
    if (mesh.VertexCount <= 0 || width <= 0 || height <= 0) return;
    SetMeshThumbnailState(gl);
    gl.ClearColor(kMeshBackground[0], kMeshBackground[1], kMeshBackground[2], kMeshBackground[3]);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
    TMeshCamera cam;
    cam.RotX = kMeshRotX;
    cam.RotY = kMeshRotY;
    cam.Zoom = 1.0f;
    cam.PanX = 0.0f;
    cam.PanY = 0.0f;
    ApplyMeshCamera(gl, mesh, cam, width, height);
    EnableMeshArrays(gl, mesh);
    if (!mesh.HasMaterial) gl.Color3f(kMeshModelColor[0], kMeshModelColor[1], kMeshModelColor[2]);
    gl.PolygonMode(gl::FRONT_AND_BACK, gl::FILL);
    gl.DrawElements(gl::TRIANGLES, mesh.IndexCount, gl::UNSIGNED_INT, mesh.Indices.data());
    DisableMeshArrays(gl);
    gl.Finish();
}

bool DrawGCodeThumbnail(const GLApi& gl, const TGCodeParser& parser, bool colorByLayer, int width, int height)
{
    if (parser.MoveCount <= 0 || width <= 0 || height <= 0) return false;
    SetGCodeState(gl, width, height);
    TBox bounds = FitBounds(parser);
    ApplyGCodeCamera(gl, bounds, width, height);
    gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightDirection);
    gl.Disable(gl::LIGHTING);
    DrawGrid(gl, bounds);
    gl.Enable(gl::LIGHTING);
    DrawMoves(gl, parser, colorByLayer);
    gl.Disable(gl::LIGHTING);
    gl.Flush();
    return true;
}

}  // namespace voxaro
