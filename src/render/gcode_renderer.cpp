#include "gcode_renderer.h"

#include "scene_view.h"

#include <algorithm>
#include <cmath>

namespace voxaro {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Beyond 85 degrees of pitch the world's up is too close to the view
// direction; the look-at then takes scene -z (or +z from below) as up.
constexpr double kSteepPitch = 1.4835298641951802;
constexpr double kArcPieceAngle = 0.08726646259971647;  // 5 degrees
constexpr int kMinArcPieces = 4;
constexpr float kMinBoxLength = 1e-5f;
constexpr double kGridStep = 10.0;
constexpr double kGridHalfSize = 50.0;
constexpr double kAxisLengthFactor = 0.12;

constexpr TColor kBackground = {0.13f, 0.13f, 0.15f, 1.0f};
constexpr TColor kGridColor = {0.3f, 0.3f, 0.34f, 0.8f};
constexpr TColor kAxisX = {1.0f, 0.2f, 0.2f, 1.0f};
constexpr TColor kAxisUp = {0.2f, 1.0f, 0.2f, 1.0f};
constexpr TColor kAxisDepth = {0.2f, 0.2f, 1.0f, 1.0f};
constexpr TColor kTravelColor = {0.5f, 0.5f, 0.5f, 0.3f};
constexpr TColor kIdleColor = {0.45f, 0.45f, 0.45f, 0.25f};  // non-extruding G1-G3
constexpr TColor kSupportColor = {1.0f, 0.45f, 0.0f, 1.0f};
constexpr TColor kInterfaceColor = {1.0f, 0.85f, 0.0f, 1.0f};
constexpr TColor kPrintColor = {1.0f, 0.55f, 0.0f, 1.0f};
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

TScenePoint MoveEnd(const TGCodeMove& m)
{
    return ToScene(m.X, m.Y, m.Z);
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
    if (arc.Kind == 2 && a.Sweep > 0) a.Sweep -= 2.0 * kPi;
    if (arc.Kind == 3 && a.Sweep < 0) a.Sweep += 2.0 * kPi;
    if (std::fabs(a.Sweep) < 1e-6) return a;
    a.Pieces = std::max(kMinArcPieces, static_cast<int>(std::ceil(std::fabs(a.Sweep) / kArcPieceAngle)));
    return a;
}

void ClearFrame(const GLApi& gl, int width, int height)
{
    gl.ClearColor(kBackground.R, kBackground.G, kBackground.B, kBackground.A);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
    gl.Enable(gl::DEPTH_TEST);
    gl.Enable(gl::POLYGON_OFFSET_FILL);
    gl.PolygonOffset(1.0f, 1.0f);
}

// Orbit camera: the look-at, then the eye (shifted by the pan) moved to the
// origin. Looking nearly straight up or down, the up vector turns to -z/+z.
void ApplyView(const GLApi& gl, const TGCodeCamera& cam)
{
    TVec3 target = {cam.CamTargetX, cam.CamTargetY, cam.CamTargetZ};
    TVec3 eye = OrbitEye(target, cam.CamDist, cam.CamYaw, cam.CamPitch);
    TVec3 up = {0.0, 1.0, 0.0};
    if (std::fabs(cam.CamPitch) >= kSteepPitch) up = {0.0, 0.0, cam.CamPitch > 0 ? -1.0 : 1.0};
    LoadLookAtRotation(gl, eye, target, up);
    gl.Translated(-(eye.X + cam.CamPanX), -(eye.Y + cam.CamPanY), -eye.Z);
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

// Floor grid at height 0 over the print bounds with a 10-unit margin, or a
// 100 x 100 square around the camera target.
void DrawGrid(const GLApi& gl, const TGCodeParser& gcode, const TGCodeCamera& cam)
{
    double x0, x1, y0, y1;
    if (gcode.HasPrintBounds) {
        x0 = std::floor(gcode.PrintMinX / kGridStep) * kGridStep - kGridStep;
        x1 = std::ceil(gcode.PrintMaxX / kGridStep) * kGridStep + kGridStep;
        y0 = std::floor(gcode.PrintMinY / kGridStep) * kGridStep - kGridStep;
        y1 = std::ceil(gcode.PrintMaxY / kGridStep) * kGridStep + kGridStep;
    } else {
        x0 = cam.CamTargetX - kGridHalfSize;
        x1 = cam.CamTargetX + kGridHalfSize;
        y0 = -cam.CamTargetZ - kGridHalfSize;
        y1 = -cam.CamTargetZ + kGridHalfSize;
    }
    gl.LineWidth(1.0f);
    SetColor(gl, kGridColor);
    gl.Begin(gl::LINES);
    for (double x = x0; x <= x1 + 0.01; x += kGridStep) {
        Vertex(gl, ToScene(x, y0, 0.0));
        Vertex(gl, ToScene(x, y1, 0.0));
    }
    for (double y = y0; y <= y1 + 0.01; y += kGridStep) {
        Vertex(gl, ToScene(x0, y, 0.0));
        Vertex(gl, ToScene(x1, y, 0.0));
    }
    gl.End();
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

bool IsSupport(const TGCodeMove& m)
{
    return m.Feature == gfSupport || m.Feature == gfSupportInterface;
}

void SetPrintColor(const GLApi& gl, const TGCodeMove& m, bool colorByLayer, int highestLayer)
{
    if (m.Feature == gfSupport)
        SetColor(gl, kSupportColor);
    else if (m.Feature == gfSupportInterface)
        SetColor(gl, kInterfaceColor);
    else if (colorByLayer)
        SetLayerColor(gl, m.Layer, highestLayer, 1.0f);
    else
        SetColor(gl, kPrintColor);
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
    if (m.Kind == 2 || m.Kind == 3) {
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
    int highestLayer = std::max(gcode.LayerCount - 1, 1);
    TGCodeMove prev = gcode.GetMove(0);
    // A printed move is drawn only when the move before it was a printed move
    // that reached drawing: the first one after any break draws nothing.
    bool prevPrinted = false;
    for (int32_t i = 0; i < gcode.MoveCount; ++i) {
        TGCodeMove m = gcode.GetMove(i);
        if (frame.LayerSel >= 0 && m.Layer > frame.LayerSel) {
            prev = m;
            continue;
        }
        if (m.Kind == 0 || ((m.Kind == 1 || m.Kind == 2 || m.Kind == 3) && !m.Extrude)) {
            if (o.ShowTravel) DrawThinMove(gl, MoveEnd(prev), m, m.Kind == 0 ? kTravelColor : kIdleColor, o.Lighting);
            prevPrinted = false;
        } else if (m.Kind == 1 || m.Kind == 2 || m.Kind == 3) {
            if (!o.ShowPrint || (IsSupport(m) && !o.ShowSupport)) {
                prevPrinted = false;
            } else {
                SetPrintColor(gl, m, o.ColorByLayer, highestLayer);
                SetLighting(gl, o.Lighting);
                if (prevPrinted) DrawPrintedMove(gl, frame, prev, m);
                prevPrinted = true;
            }
        }
        prev = m;
    }
}

}  // namespace

TScenePoint ToScene(double x, double y, double z)
{
    return {static_cast<float>(x), static_cast<float>(z), static_cast<float>(-y)};
}

void LayerColor(int layer, int highestLayer, float rgb[3])
{
    if (highestLayer <= 0) {
        rgb[0] = 1.0f, rgb[1] = 0.6f, rgb[2] = 0.0f;
        return;
    }
    double t = static_cast<double>(layer) / highestLayer;
    double hue = (1.0 - t) * 240.0 / 60.0;  // sixths of a turn: 4 blue .. 0 red
    int i = static_cast<int>(hue);          // truncated toward zero
    int sector = i % 6;                     // keeps the sign of i
    float f = static_cast<float>(hue - i);
    float q = 1.0f - f;
    float r = 1.0f, g = 1.0f, b = 1.0f;
    switch (sector) {
    case 0: r = 1.0f, g = f, b = 0.0f; break;
    case 1: r = q, g = 1.0f, b = 0.0f; break;
    case 2: r = 0.0f, g = 1.0f, b = f; break;
    case 3: r = 0.0f, g = q, b = 1.0f; break;
    case 4: r = f, g = 0.0f, b = 1.0f; break;
    case 5: r = 1.0f, g = 0.0f, b = q; break;
    default: break;  // negative sector: white
    }
    rgb[0] = r, rgb[1] = g, rgb[2] = b;
}

void SetLayerColor(const GLApi& gl, int layer, int highestLayer, float alpha)
{
    float rgb[3];
    LayerColor(layer, highestLayer, rgb);
    gl.Color4f(rgb[0], rgb[1], rgb[2], alpha);
}

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
    ApplyToolpathProjection(gl, frame.Width, frame.Height);
    ApplyView(gl, frame.Camera);
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
