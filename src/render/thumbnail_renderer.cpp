#include "thumbnail_renderer.h"

#include <cmath>

#include "camera.h"
#include "gcode_scene.h"
#include "mesh_renderer.h"
#include "toolpath_chunks.h"
#include "toolpath_geometry.h"

namespace voxaro {

namespace {

// ---------------------------------------------------------------------------
// Mesh thumbnail

constexpr float kMeshBackground[4] = {0.82f, 0.84f, 0.88f, 1.0f};
constexpr float kMeshModelColor[3] = {0.42f, 0.54f, 0.66f};

void SetMeshThumbnailState(const TGLApi& gl)
{
    SetShadingState(gl);  // no perspective hint here
    // Whether or not the pixel format has samples.
    gl.Enable(gl::MULTISAMPLE);
}

// ---------------------------------------------------------------------------
// G-code thumbnail

constexpr double kRibbonHalfWidth = 0.2;  // a fixed 0.4 mm ribbon

void SetGCodeState(const TGLApi& gl, int width, int height)
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

// Every printed move, support included, whatever the view's filters say,
// lit: flat ribbon tops, arcs as their chord. Travel is never drawn.
class TThumbnailStyle final : public TToolpathStyle {
public:
    TThumbnailStyle(const TGCodeParser& parser, bool colorByLayer)
        : ColorByLayer_(colorByLayer), HighestLayer_(HighestLayer(parser))
    {
    }
    TMoveFilter Filter() const override { return TMoveFilter{}; }
    void Thin(TPathBatch&, const TGCodeMove&, const TGCodeMove&, TMoveRole) const override {}
    void Printed(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, bool drawn) const override
    {
        if (!drawn) return;
        out.SetColor(PrintColor(kThumbnailPalette, m, ColorByLayer_, HighestLayer_));
        out.SetLighting(true);
        if (IsArc(m.Kind)) {
            DrawChord(out, start, m);
            return;
        }
        const double h = m.LayerHeight > 0.01f ? m.LayerHeight * 0.5 : 0.1;
        DrawRibbonTop(out, start, m, kRibbonHalfWidth, h);
    }

private:
    bool ColorByLayer_;
    int HighestLayer_;
};

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

void DrawMeshThumbnail(const TGLApi& gl, const TMeshData& mesh, int width, int height)
{
    if (mesh.VertexCount <= 0 || width <= 0 || height <= 0) return;
    SetMeshThumbnailState(gl);
    gl.ClearColor(kMeshBackground[0], kMeshBackground[1], kMeshBackground[2], kMeshBackground[3]);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
    ApplyMeshCamera(gl, mesh, TMeshCamera{}, width, height);  // the viewer's default angles, no zoom, no pan
    EnableMeshArrays(gl, mesh);
    if (!mesh.HasMaterial) gl.Color3f(kMeshModelColor[0], kMeshModelColor[1], kMeshModelColor[2]);
    gl.PolygonMode(gl::FRONT_AND_BACK, gl::FILL);
    DrawMeshTriangles(gl, mesh);
    DisableMeshArrays(gl);
    gl.Finish();
}

TGCodeCamera BeginGCodeThumbnail(const TGLApi& gl, const TGCodeParser& parser, int width, int height)
{
    SetGCodeState(gl, width, height);
    const TGCodeCamera cam = FittedCamera(parser);
    ApplyToolpathCamera(gl, cam, width, height);
    gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightDirection);
    gl.Disable(gl::LIGHTING);
    DrawFloorGrid(gl, ThumbnailGrid(parser), kThumbnailPalette.Grid);
    gl.Enable(gl::LIGHTING);
    return cam;
}

bool DrawGCodeThumbnail(const TGLApi& gl, const TGCodeParser& parser, bool colorByLayer, int width, int height)
{
    if (parser.MoveCount <= 0 || width <= 0 || height <= 0) return false;
    const TGCodeCamera cam = BeginGCodeThumbnail(gl, parser, width, height);
    const TViewVolume volume(ToolpathClipMatrix(cam, width, height), width, height);
    DrawToolpathStreamed(gl, parser, TThumbnailStyle(parser, colorByLayer), &volume);
    gl.Disable(gl::LIGHTING);
    gl.Flush();
    return true;
}

}  // namespace voxaro
