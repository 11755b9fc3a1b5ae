// The toolpath's moves drawn as they were before vertex arrays and display
// lists: immediate mode, one glBegin/glEnd per line and per box face, inside
// the same frame and thumbnail setup. Kept only as the reference the new
// path must match pixel for pixel.
#include "immediate_toolpath.h"

#include <algorithm>
#include <cmath>

namespace voxaro {
namespace reference {

namespace {

void SetPrintColor(const TGLApi& gl, const TToolpathPalette& palette, const TGCodeMove& m, bool colorByLayer,
                   int highestLayer)
{
    SetColor(gl, PrintColor(palette, m, colorByLayer, highestLayer));
}

}  // namespace

namespace {

constexpr TColor kEdgeColor = {0.55f, 0.55f, 0.55f, 0.7f};

void Vertex(const TGLApi& gl, const TScenePoint& p)
{
    gl.Vertex3f(p.X, p.Y, p.Z);
}

void DrawLine(const TGLApi& gl, const TScenePoint& a, const TScenePoint& b)
{
    gl.Begin(gl::LINES);
    Vertex(gl, a);
    Vertex(gl, b);
    gl.End();
}

void SetLighting(const TGLApi& gl, bool on)
{
    if (on)
        gl.Enable(gl::LIGHTING);
    else
        gl.Disable(gl::LIGHTING);
}

void Quad(const TGLApi& gl, float nx, float ny, float nz, const TScenePoint& c0, const TScenePoint& c1,
          const TScenePoint& c2, const TScenePoint& c3)
{
    gl.Begin(gl::QUADS);
    gl.Normal3f(nx, ny, nz);
    Vertex(gl, c0);
    Vertex(gl, c1);
    Vertex(gl, c2);
    Vertex(gl, c3);
    gl.End();
}

void DrawSegmentBox(const TGLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h)
{
    TBoxFrame f;
    if (!MakeBoxFrame(a, b, w, f)) return;
    const TScenePoint& p = f.P;
    float ux = f.UX, uz = f.UZ;
    Quad(gl, 0, 1, 0, Corner(a, p, -1, h), Corner(a, p, 1, h), Corner(b, p, 1, h), Corner(b, p, -1, h));
    Quad(gl, 0, -1, 0, Corner(a, p, 1, -h), Corner(a, p, -1, -h), Corner(b, p, -1, -h), Corner(b, p, 1, -h));
    Quad(gl, -uz, 0, ux, Corner(a, p, 1, -h), Corner(a, p, 1, h), Corner(b, p, 1, h), Corner(b, p, 1, -h));
    Quad(gl, uz, 0, -ux, Corner(a, p, -1, h), Corner(a, p, -1, -h), Corner(b, p, -1, -h), Corner(b, p, -1, h));
    Quad(gl, -ux, 0, -uz, Corner(a, p, 1, h), Corner(a, p, -1, h), Corner(a, p, -1, -h), Corner(a, p, 1, -h));
    Quad(gl, ux, 0, uz, Corner(b, p, -1, h), Corner(b, p, 1, h), Corner(b, p, 1, -h), Corner(b, p, -1, -h));
}

void DrawSegmentEdges(const TGLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h)
{
    TBoxFrame f;
    if (!MakeBoxFrame(a, b, w, f)) return;
    const TScenePoint& p = f.P;
    gl.Begin(gl::LINES);
    Vertex(gl, Corner(a, p, -1, h));
    Vertex(gl, Corner(b, p, -1, h));
    Vertex(gl, Corner(a, p, 1, h));
    Vertex(gl, Corner(b, p, 1, h));
    Vertex(gl, Corner(a, p, -1, -h));
    Vertex(gl, Corner(b, p, -1, -h));
    Vertex(gl, Corner(a, p, 1, -h));
    Vertex(gl, Corner(b, p, 1, -h));
    gl.End();
}

void DrawArcSegments(const TGLApi& gl, const TGCodeMove& arc, const TGCodeMove& start, float w, float h)
{
    TArc a = MakeArc(arc, start);
    for (int k = 1; k <= a.Pieces; ++k) {
        double angle0 = a.StartAngle + (k - 1) * a.Sweep / a.Pieces;
        double angle1 = a.StartAngle + k * a.Sweep / a.Pieces;
        TScenePoint p0 = ToScene(a.CX + a.Radius * std::cos(angle0), a.CY + a.Radius * std::sin(angle0), start.Z);
        TScenePoint p1 = ToScene(a.CX + a.Radius * std::cos(angle1), a.CY + a.Radius * std::sin(angle1), arc.Z);
        DrawSegmentBox(gl, p0, p1, w, h);
    }
}

// Travel and non-extruding moves: thin unlit lines.
void DrawThinMove(const TGLApi& gl, const TScenePoint& from, const TGCodeMove& m, const TColor& color, bool lighting)
{
    gl.Disable(gl::LIGHTING);
    gl.LineWidth(1.0f);
    SetColor(gl, color);
    DrawLine(gl, from, MoveEnd(m));
    SetLighting(gl, lighting);
}

void DrawBoxEdges(const TGLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h)
{
    gl.Disable(gl::LIGHTING);
    gl.Enable(gl::POLYGON_OFFSET_LINE);
    gl.PolygonOffset(-1.5f, -1.5f);
    gl.LineWidth(1.0f);
    SetColor(gl, kEdgeColor);
    DrawSegmentEdges(gl, a, b, w, h);
    gl.Disable(gl::POLYGON_OFFSET_LINE);
    gl.PolygonOffset(1.0f, 1.0f);
    gl.Enable(gl::LIGHTING);
}

// One printed move from prev's end: lit boxes (arcs as chains of boxes) or a
// thick unlit line (arcs as their chord).
void DrawPrintedMove(const TGLApi& gl, const TGCodeFrame& frame, const TGCodeMove& prev, const TGCodeMove& m)
{
    const TGCodeViewOptions& o = frame.Options;
    float w = static_cast<float>(frame.LineWidth * 0.5);
    float h = m.LayerHeight > 0.01f ? m.LayerHeight * 0.5f : 0.1f;
    TScenePoint a = MoveEnd(prev);
    TScenePoint b = MoveEnd(m);
    if (!o.Lighting) {
        double width = m.LineWidth > 0.01f ? m.LineWidth * 2.0 : frame.LineWidth * 2.0;
        gl.LineWidth(static_cast<float>(width));
        DrawLine(gl, a, b);
        return;
    }
    if (IsArc(m.Kind)) {
        DrawArcSegments(gl, m, prev, w, h);
        return;
    }
    DrawSegmentBox(gl, a, b, w, h);
    if (o.Edges) DrawBoxEdges(gl, a, b, w, h);
}

void DrawMoves(const TGLApi& gl, const TGCodeFrame& frame)
{
    const TGCodeParser& gcode = *frame.Parser;
    const TGCodeViewOptions& o = frame.Options;
    const int highestLayer = HighestLayer(gcode);
    TMoveFilter filter;
    filter.LayerSel = frame.LayerSel;
    filter.ShowPrint = o.ShowPrint;
    filter.ShowSupport = o.ShowSupport;
    WalkMoves(
        gcode, filter,
        [&](const TGCodeMove& prev, const TGCodeMove& m, TMoveRole role) {
            if (!o.ShowTravel) return;
            const TColor& color = role == TMoveRole::Travel ? kViewPalette.Travel : kViewPalette.Idle;
            DrawThinMove(gl, MoveEnd(prev), m, color, o.Lighting);
        },
        [&](const TGCodeMove& prev, const TGCodeMove& m, bool drawn) {
            SetPrintColor(gl, kViewPalette, m, o.ColorByLayer, highestLayer);
            SetLighting(gl, o.Lighting);
            if (drawn) DrawPrintedMove(gl, frame, prev, m);
        });
}

}  // namespace

bool DrawImmediateFrame(const TGLApi& gl, const TGCodeFrame& frame)
{
    if (!frame.Parser || frame.Parser->MoveCount <= 0) return false;
    if (frame.Width <= 0 || frame.Height <= 0) return false;
    BeginGCodeFrame(gl, frame);
    DrawMoves(gl, frame);
    EndGCodeFrame(gl);
    return true;
}

namespace {

constexpr double kRibbonHalfWidth = 0.2;  // a fixed 0.4 mm ribbon
constexpr double kRibbonMinLength = 1e-5;
// Directional light, fixed in scene axes.

void SceneVertex(const TGLApi& gl, double x, double y, double z)
{
    gl.Vertex3f(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

// Top face of a fixed-width ribbon from prev's end to m's end, each end
// raised by h above its own height.
void DrawRibbonTop(const TGLApi& gl, const TGCodeMove& prev, const TGCodeMove& m, double h)
{
    double dx = m.X - prev.X;
    double dz = -(m.Y - prev.Y);
    double len = std::sqrt(dx * dx + dz * dz);
    if (len > kRibbonMinLength) {
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

void DrawRibbonMove(const TGLApi& gl, const TGCodeMove& prev, const TGCodeMove& m)
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
void DrawThumbnailMoves(const TGLApi& gl, const TGCodeParser& parser, bool colorByLayer)
{
    const int highestLayer = HighestLayer(parser);
    WalkMoves(
        parser, TMoveFilter{}, [](const TGCodeMove&, const TGCodeMove&, TMoveRole) {},
        [&](const TGCodeMove& prev, const TGCodeMove& m, bool drawn) {
            SetPrintColor(gl, kThumbnailPalette, m, colorByLayer, highestLayer);
            if (drawn) DrawRibbonMove(gl, prev, m);
        });
}

}  // namespace

bool DrawImmediateThumbnail(const TGLApi& gl, const TGCodeParser& parser, bool colorByLayer, int width, int height)
{
    if (parser.MoveCount <= 0 || width <= 0 || height <= 0) return false;
    BeginGCodeThumbnail(gl, parser, width, height);
    DrawThumbnailMoves(gl, parser, colorByLayer);
    gl.Disable(gl::LIGHTING);
    gl.Flush();
    return true;
}

}  // namespace reference
}  // namespace voxaro
