#include "gcode_renderer.h"

namespace voxaro {

namespace {

constexpr double kAxisLengthFactor = 0.12;

constexpr TColor kAxisX = {1.0f, 0.2f, 0.2f, 1.0f};
constexpr TColor kAxisUp = {0.2f, 1.0f, 0.2f, 1.0f};
constexpr TColor kAxisDepth = {0.2f, 0.2f, 1.0f, 1.0f};
constexpr TColor kEdgeColor = {0.55f, 0.55f, 0.55f, 0.7f};

void DrawLine(const TGLApi& gl, const TScenePoint& a, const TScenePoint& b)
{
    gl.Begin(gl::LINES);
    gl.Vertex3f(a.X, a.Y, a.Z);
    gl.Vertex3f(b.X, b.Y, b.Z);
    gl.End();
}

void ClearFrame(const TGLApi& gl, int width, int height)
{
    const TColor& bg = kViewPalette.Background;
    gl.ClearColor(bg.R, bg.G, bg.B, bg.A);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
    gl.Enable(gl::DEPTH_TEST);
    gl.Enable(gl::POLYGON_OFFSET_FILL);
    gl.PolygonOffset(1.0f, 1.0f);
}

// Light 0 on and placed when the view is lit; GL_LIGHTING itself stays off
// here: the grid and axes are drawn unlit, and the batches switch it on for
// the lit moves.
void SetupLight(const TGLApi& gl, bool lighting)
{
    gl.Disable(gl::LIGHTING);
    if (!lighting) return;
    gl.Enable(gl::LIGHT0);
    gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightDirection);
}

// Floor grid over the print bounds with a 10-unit margin, or a 100 x 100
// square around the camera target.
void DrawGrid(const TGLApi& gl, const TGCodeParser& gcode, const TGCodeCamera& cam)
{
    TFloorGrid grid = gcode.HasPrintBounds
                          ? FloorGridOver(gcode.PrintMinX, gcode.PrintMaxX, gcode.PrintMinY, gcode.PrintMaxY)
                          : FloorGridAround(cam.CamTargetX, -cam.CamTargetZ);
    DrawFloorGrid(gl, grid, kViewPalette.Grid);
}

void DrawAxes(const TGLApi& gl, const TGCodeCamera& cam)
{
    TScenePoint o = {static_cast<float>(cam.CamTargetX), static_cast<float>(cam.CamTargetY),
                     static_cast<float>(cam.CamTargetZ)};
    float len = static_cast<float>(kAxisLengthFactor * cam.CamDist);
    gl.LineWidth(2.0f);
    SetColor(gl, kAxisX);
    DrawLine(gl, o, {o.X + len, o.Y, o.Z});
    SetColor(gl, kAxisUp);
    DrawLine(gl, o, {o.X, o.Y + len, o.Z});
    SetColor(gl, kAxisDepth);
    DrawLine(gl, o, {o.X, o.Y, o.Z - len});
    gl.LineWidth(1.0f);
}

// Everything that decides the moves' picture; the camera does not.
TToolpathKey KeyOf(const TGCodeFrame& frame)
{
    const TGCodeViewOptions& o = frame.Options;
    TToolpathKey key;
    key.Source = frame.Parser;
    key.MoveCount = frame.Parser->MoveCount;
    key.Flags = (o.ShowTravel ? 1u : 0u) | (o.ShowPrint ? 2u : 0u) | (o.ColorByLayer ? 4u : 0u) |
                (o.ShowSupport ? 8u : 0u) | (o.Lighting ? 16u : 0u) | (o.Edges ? 32u : 0u);
    key.LayerSel = frame.LayerSel;
    key.LineWidth = frame.LineWidth;
    return key;
}

void DrawMoves(const TGLApi& gl, const TGCodeFrame& frame)
{
    const TGCodeViewStyle style(frame);
    const TViewVolume volume(ToolpathClipMatrix(frame.Camera, frame.Width, frame.Height), frame.Width, frame.Height);
    if (frame.Cache)
        frame.Cache->Draw(gl, *frame.Parser, style, KeyOf(frame), &volume);
    else
        DrawToolpathStreamed(gl, *frame.Parser, style, &volume);
}

}  // namespace

TGCodeViewStyle::TGCodeViewStyle(const TGCodeFrame& frame)
    : Options_(frame.Options), LineWidth_(frame.LineWidth), HighestLayer_(HighestLayer(*frame.Parser))
{
    Filter_.LayerSel = frame.LayerSel;
    Filter_.ShowPrint = Options_.ShowPrint;
    Filter_.ShowSupport = Options_.ShowSupport;
}

// Travel and non-extruding moves: thin unlit lines.
void TGCodeViewStyle::Thin(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, TMoveRole role) const
{
    if (!Options_.ShowTravel) return;
    out.SetLighting(false);
    out.SetLineWidth(1.0f);
    out.SetColor(role == TMoveRole::Travel ? kViewPalette.Travel : kViewPalette.Idle);
    DrawChord(out, start, m);
}

// One printed move: lit boxes (arcs as chains of boxes, straight moves with
// their long edges when asked) or a thick unlit line (arcs as their chord).
void TGCodeViewStyle::Printed(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, bool drawn) const
{
    if (!drawn) return;
    out.SetColor(PrintColor(kViewPalette, m, Options_.ColorByLayer, HighestLayer_));
    out.SetLighting(Options_.Lighting);
    const float w = static_cast<float>(LineWidth_ * 0.5);
    const float h = m.LayerHeight > 0.01f ? m.LayerHeight * 0.5f : 0.1f;
    if (!Options_.Lighting) {
        const double width = m.LineWidth > 0.01f ? m.LineWidth * 2.0 : LineWidth_ * 2.0;
        out.SetLineWidth(static_cast<float>(width));
        DrawChord(out, start, m);
        return;
    }
    if (IsArc(m.Kind)) {
        DrawArcSegments(out, m, start, w, h);
        return;
    }
    const TScenePoint a = MoveEnd(start), b = MoveEnd(m);
    DrawSegmentBox(out, a, b, w, h);
    if (!Options_.Edges) return;
    out.SetLighting(false);
    out.SetEdgeOffset(true);
    out.SetLineWidth(1.0f);
    out.SetColor(kEdgeColor);
    DrawSegmentEdges(out, a, b, w, h);
    out.SetEdgeOffset(false);
}

void BeginGCodeFrame(const TGLApi& gl, const TGCodeFrame& frame)
{
    const TGCodeViewOptions& o = frame.Options;
    ClearFrame(gl, frame.Width, frame.Height);
    SetColorByLayer(o.ColorByLayer);
    ApplyToolpathCamera(gl, frame.Camera, frame.Width, frame.Height);
    SetupLight(gl, o.Lighting);
    DrawGrid(gl, *frame.Parser, frame.Camera);
    if (o.Axes) DrawAxes(gl, frame.Camera);
    if (o.Lighting) gl.Enable(gl::LIGHTING);
}

void EndGCodeFrame(const TGLApi& gl)
{
    gl.Disable(gl::LIGHTING);
    gl.LineWidth(1.0f);
    gl.Flush();
}

bool DrawGCodeFrame(const TGLApi& gl, const TGCodeFrame& frame)
{
    if (!frame.Parser || frame.Parser->MoveCount <= 0) return false;
    if (frame.Width <= 0 || frame.Height <= 0) return false;
    BeginGCodeFrame(gl, frame);
    DrawMoves(gl, frame);
    EndGCodeFrame(gl);
    return true;
}

bool CompileGCodeLists(const TGLApi& gl, const TGCodeFrame& frame, double seconds)
{
    if (!frame.Cache || !frame.Parser || frame.Parser->MoveCount <= 0) return false;
    return frame.Cache->CompilePending(gl, *frame.Parser, TGCodeViewStyle(frame), KeyOf(frame), seconds);
}

}  // namespace voxaro
