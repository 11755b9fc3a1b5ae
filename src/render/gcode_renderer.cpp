#include "gcode_renderer.h"

#include <algorithm>
#include <cmath>

namespace voxaro {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kArcPieceAngle = 0.08726646259971647;  // 5 degrees
constexpr int kMinArcPieces = 4;
constexpr float kMinBoxLength = 1e-5f;
constexpr double kAxisLengthFactor = 0.12;

constexpr TColor kAxisX = {1.0f, 0.2f, 0.2f, 1.0f};
constexpr TColor kAxisUp = {0.2f, 1.0f, 0.2f, 1.0f};
constexpr TColor kAxisDepth = {0.2f, 0.2f, 1.0f, 1.0f};
constexpr TColor kEdgeColor = {0.55f, 0.55f, 0.55f, 0.7f};
// Directional light, fixed in scene axes.
constexpr float kLightDirection[4] = {0.5f, 1.0f, 0.5f, 0.0f};

void Vertex(const GLApi& gl, const TScenePoint& p)
{
    gl.Vertex3f(p.X, p.Y, p.Z);
}

void DrawLine(const GLApi& gl, const TScenePoint& a, const TScenePoint& b)
{
    gl.Begin(gl::LINES);
    Vertex(gl, a);
    Vertex(gl, b);
    gl.End();
}

void SetLighting(const GLApi& gl, bool on)
{
    if (on)
        gl.Enable(gl::LIGHTING);
    else
        gl.Disable(gl::LIGHTING);
}

// Direction and side offset of a box around a-b; false when a-b is (nearly)
// vertical or empty.
struct TBoxFrame {
    float UX, UZ;   // unit direction in the x-z plane
    TScenePoint P;  // side offset, half width long
};

bool MakeBoxFrame(const TScenePoint& a, const TScenePoint& b, float w, TBoxFrame& f)
{
    float dx = b.X - a.X;
    float dz = b.Z - a.Z;
    float len = std::sqrt(dx * dx + dz * dz);
    if (len < kMinBoxLength) return false;
    f.UX = dx / len;
    f.UZ = dz / len;
    f.P = {-f.UZ * w, 0.0f, f.UX * w};
    return true;
}

// Corner of a box: end point plus sign x side offset, raised or lowered by h.
TScenePoint Corner(const TScenePoint& end, const TScenePoint& p, float side, float h)
{
    return {end.X + side * p.X, end.Y + h, end.Z + side * p.Z};
}

void Quad(const GLApi& gl, float nx, float ny, float nz, const TScenePoint& c0, const TScenePoint& c1,
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

// Centre, radius and sweep of an arc move that starts at start.
struct TArc {
    double CX, CY, Radius;
    double StartAngle, Sweep;
    int Pieces;  // 0 when nothing is drawn
};

TArc MakeArc(const TGCodeMove& arc, const TGCodeMove& start)
{
    TArc a{};
    a.CX = start.X + arc.I;
    a.CY = start.Y + arc.J;
    a.Radius = std::hypot(start.X - a.CX, start.Y - a.CY);
    if (a.Radius < 1e-6) return a;
    a.StartAngle = std::atan2(start.Y - a.CY, start.X - a.CX);
    double endAngle = std::atan2(arc.Y - a.CY, arc.X - a.CX);
    a.Sweep = endAngle - a.StartAngle;
    if (arc.Kind == mkClockwiseArc && a.Sweep > 0) a.Sweep -= 2.0 * kPi;
    if (arc.Kind == mkCounterClockwiseArc && a.Sweep < 0) a.Sweep += 2.0 * kPi;
    if (std::fabs(a.Sweep) < 1e-6) return a;
    a.Pieces = std::max(kMinArcPieces, static_cast<int>(std::ceil(std::fabs(a.Sweep) / kArcPieceAngle)));
    return a;
}

void ClearFrame(const GLApi& gl, int width, int height)
{
    const TColor& bg = kViewPalette.Background;
    gl.ClearColor(bg.R, bg.G, bg.B, bg.A);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
    gl.Enable(gl::DEPTH_TEST);
    gl.Enable(gl::POLYGON_OFFSET_FILL);
    gl.PolygonOffset(1.0f, 1.0f);
}

void SetupLight(const GLApi& gl, bool lighting)
{
    if (lighting) {
        gl.Enable(gl::LIGHTING);
        gl.Enable(gl::LIGHT0);
        gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightDirection);
    }
    gl.Disable(gl::LIGHTING);
}

// Floor grid over the print bounds with a 10-unit margin, or a 100 x 100
// square around the camera target.
void DrawGrid(const GLApi& gl, const TGCodeParser& gcode, const TGCodeCamera& cam)
{
    TFloorGrid grid = gcode.HasPrintBounds
                          ? FloorGridOver(gcode.PrintMinX, gcode.PrintMaxX, gcode.PrintMinY, gcode.PrintMaxY)
                          : FloorGridAround(cam.CamTargetX, -cam.CamTargetZ);
    DrawFloorGrid(gl, grid, kViewPalette.Grid);
}

void DrawAxes(const GLApi& gl, const TGCodeCamera& cam)
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

// Travel and non-extruding moves: thin unlit lines.
void DrawThinMove(const GLApi& gl, const TScenePoint& from, const TGCodeMove& m, const TColor& color, bool lighting)
{
    gl.Disable(gl::LIGHTING);
    gl.LineWidth(1.0f);
    SetColor(gl, color);
    DrawLine(gl, from, MoveEnd(m));
    SetLighting(gl, lighting);
}

void DrawBoxEdges(const GLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h)
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
void DrawPrintedMove(const GLApi& gl, const TGCodeFrame& frame, const TGCodeMove& prev, const TGCodeMove& m)
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

void DrawMoves(const GLApi& gl, const TGCodeFrame& frame)
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

void DrawSegmentBox(const GLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h)
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

void DrawSegmentEdges(const GLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h)
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

int ArcPieceCount(const TGCodeMove& arc, const TGCodeMove& start)
{
    return MakeArc(arc, start).Pieces;
}

void DrawArcSegments(const GLApi& gl, const TGCodeMove& arc, const TGCodeMove& start, float w, float h)
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

bool DrawGCodeFrame(const GLApi& gl, const TGCodeFrame& frame)
{
    if (!frame.Parser || frame.Parser->MoveCount <= 0) return false;
    if (frame.Width <= 0 || frame.Height <= 0) return false;
    const TGCodeViewOptions& o = frame.Options;
    ClearFrame(gl, frame.Width, frame.Height);
    SetColorByLayer(o.ColorByLayer);
    ApplyToolpathCamera(gl, frame.Camera, frame.Width, frame.Height);
    SetupLight(gl, o.Lighting);
    DrawGrid(gl, *frame.Parser, frame.Camera);
    if (o.Axes) DrawAxes(gl, frame.Camera);
    if (o.Lighting) gl.Enable(gl::LIGHTING);
    DrawMoves(gl, frame);
    gl.Disable(gl::LIGHTING);
    gl.LineWidth(1.0f);
    gl.Flush();
    return true;
}

}  // namespace voxaro
