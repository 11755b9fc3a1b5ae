#include "thumbnail_renderer.h"

#include <cmath>

#include "camera.h"
#include "gcode_scene.h"
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

constexpr double kRibbonHalfWidth = 0.2;  // a fixed 0.4 mm ribbon
constexpr double kMinDirectionLength = 1e-5;
// Directional light, fixed in scene axes.
constexpr float kLightDirection[4] = {0.5f, 1.0f, 0.5f, 0.0f};

void SceneVertex(const GLApi& gl, double x, double y, double z)
{
    gl.Vertex3f(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
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
    const TColor& bg = kThumbnailPalette.Background;
    gl.ClearColor(bg.R, bg.G, bg.B, bg.A);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
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
    if (IsArc(m.Kind)) {
        // Arcs as their chord.
        TScenePoint a = MoveEnd(prev), b = MoveEnd(m);
        gl.Begin(gl::LINES);
        gl.Vertex3f(a.X, a.Y, a.Z);
        gl.Vertex3f(b.X, b.Y, b.Z);
        gl.End();
        return;
    }
    double h = m.LayerHeight > 0.01f ? m.LayerHeight * 0.5 : 0.1;
    DrawRibbonTop(gl, prev, m, h);
}

// Every printed move, support included, whatever the view's filters say;
// travel is never drawn.
void DrawMoves(const GLApi& gl, const TGCodeParser& parser, bool colorByLayer)
{
    const int highestLayer = HighestLayer(parser);
    WalkMoves(
        parser, TMoveFilter{}, [](const TGCodeMove&, const TGCodeMove&, TMoveRole) {},
        [&](const TGCodeMove& prev, const TGCodeMove& m, bool drawn) {
            SetPrintColor(gl, kThumbnailPalette, m, colorByLayer, highestLayer);
            if (drawn) DrawPrintedMove(gl, prev, m);
        });
}

// The view's camera fitted to the print and turned to the default angles.
TGCodeCamera FittedCamera(const TGCodeParser& parser)
{
    TGCodeCamera cam;
    FitGCodeCamera(cam, &parser);
    ResetGCodeAngles(cam);
    return cam;
}

// Floor grid over the fitted box with a margin of one step.
TFloorGrid ThumbnailGrid(const TGCodeParser& p)
{
    if (p.HasPrintBounds) return FloorGridOver(p.PrintMinX, p.PrintMaxX, p.PrintMinY, p.PrintMaxY);
    return FloorGridOver(p.MinX, p.MaxX, p.MinY, p.MaxY);
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
    ApplyToolpathCamera(gl, FittedCamera(parser), width, height);
    gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightDirection);
    gl.Disable(gl::LIGHTING);
    DrawFloorGrid(gl, ThumbnailGrid(parser), kThumbnailPalette.Grid);
    gl.Enable(gl::LIGHTING);
    DrawMoves(gl, parser, colorByLayer);
    gl.Disable(gl::LIGHTING);
    gl.Flush();
    return true;
}

}  // namespace voxaro
