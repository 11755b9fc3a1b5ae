#include "gcode_scene.h"

#include <cfloat>
#include <cmath>

namespace voxaro {

namespace {

// Beyond 85 degrees of pitch the world's up is too close to the view
// direction; the look-at then takes scene -z (or +z from below) as up.
constexpr double kSteepPitch = 1.4835298641951802;
constexpr double kGridStep = 10.0;
constexpr double kGridHalfSize = 50.0;
// A line is drawn while it is not past the end by more than this.
constexpr double kGridSlack = 0.01;

// Hue ramp: sector and fraction of the layer's hue, 240 degrees (blue) for
// layer 0 down to 0 (red) for the highest.
struct TRamp {
    int Sector;  // negative beyond the ramp's end
    float F;
};

TRamp RampOf(int layer, int highestLayer)
{
    double t = static_cast<double>(layer) / highestLayer;
    double hue = (1.0 - t) * 240.0 / 60.0;        // sixths of a turn: 4 blue .. 0 red
    int i = static_cast<int>(hue);                // truncated toward zero
    return {i % 6, static_cast<float>(hue - i)};  // the sector keeps the sign of i
}

void RampColor(int layer, int highestLayer, bool whiteBeyond, float rgb[3])
{
    if (highestLayer <= 0) {
        rgb[0] = 1.0f, rgb[1] = 0.6f, rgb[2] = 0.0f;
        return;
    }
    const TRamp ramp = RampOf(layer, highestLayer);
    const float f = ramp.F, q = 1.0f - f;
    float r = 1.0f, g = 1.0f, b = 1.0f;
    switch (ramp.Sector) {
    case 0: r = 1.0f, g = f, b = 0.0f; break;
    case 1: r = q, g = 1.0f, b = 0.0f; break;
    case 2: r = 0.0f, g = 1.0f, b = f; break;
    case 3: r = 0.0f, g = q, b = 1.0f; break;
    case 4: r = f, g = 0.0f, b = 1.0f; break;
    case 5: r = 1.0f, g = 0.0f, b = q; break;
    default:  // beyond the ramp
        if (!whiteBeyond) r = 1.0f, g = 0.0f, b = q;
        break;
    }
    rgb[0] = r, rgb[1] = g, rgb[2] = b;
}

// Usual lines of one axis, counted as the step-by-step loop finds them; more
// than kMaxGridLines when the loop would run longer (or for ever, once adding
// a step no longer changes the position).
int32_t UsualLineCount(double from, double to)
{
    int32_t n = 0;
    for (double x = from; x <= to + kGridSlack && n <= kMaxGridLines; x += kGridStep)
        ++n;
    return n;
}

bool WithinFloatRange(double v)
{
    return std::fabs(v) <= FLT_MAX;  // false for NaN and infinities too
}

}  // namespace

const TToolpathPalette kViewPalette = {
    {0.13f, 0.13f, 0.15f, 1.0f},   // background
    {0.3f, 0.3f, 0.34f, 0.8f},     // grid
    {0.5f, 0.5f, 0.5f, 0.3f},      // travel
    {0.45f, 0.45f, 0.45f, 0.25f},  // idle
    {1.0f, 0.45f, 0.0f, 1.0f},     // support
    {1.0f, 0.85f, 0.0f, 1.0f},     // support interface
    {1.0f, 0.55f, 0.0f, 1.0f},     // print
    true,
};

const TToolpathPalette kThumbnailPalette = {
    {0.04f, 0.04f, 0.06f, 1.0f},   // background
    {0.25f, 0.25f, 0.28f, 0.6f},   // grid
    {0.5f, 0.5f, 0.5f, 0.3f},      // travel (never drawn)
    {0.45f, 0.45f, 0.45f, 0.25f},  // idle (never drawn)
    {1.0f, 0.45f, 0.0f, 1.0f},     // support
    {1.0f, 0.45f, 0.0f, 1.0f},     // support interface: as support
    {1.0f, 0.55f, 0.0f, 1.0f},     // print
    false,
};

TScenePoint ToScene(double x, double y, double z)
{
    return {static_cast<float>(x), static_cast<float>(z), static_cast<float>(-y)};
}

void LayerColor(int layer, int highestLayer, float rgb[3])
{
    RampColor(layer, highestLayer, true, rgb);
}

TColor PrintColor(const TToolpathPalette& palette, const TGCodeMove& m, bool colorByLayer, int highestLayer)
{
    if (m.Feature == gfSupport) return palette.Support;
    if (m.Feature == gfSupportInterface) return palette.Interface;
    if (!colorByLayer) return palette.Print;
    float rgb[3];
    RampColor(m.Layer, highestLayer, palette.WhiteBeyondRamp, rgb);
    return {rgb[0], rgb[1], rgb[2], 1.0f};
}

namespace {
struct TToolpathEye {
    TVec3 Eye, Target, Up;
};

TToolpathEye ToolpathEye(const TGCodeCamera& cam)
{
    TToolpathEye v;
    v.Target = {cam.CamTargetX, cam.CamTargetY, cam.CamTargetZ};
    v.Eye = OrbitEye(v.Target, cam.CamDist, cam.CamYaw, cam.CamPitch);
    v.Up = {0.0, 1.0, 0.0};
    if (std::fabs(cam.CamPitch) >= kSteepPitch) v.Up = {0.0, 0.0, cam.CamPitch > 0 ? -1.0 : 1.0};
    return v;
}
}  // namespace

void ApplyToolpathCamera(const TGLApi& gl, const TGCodeCamera& cam, int width, int height)
{
    ApplyToolpathProjection(gl, width, height);
    const TToolpathEye v = ToolpathEye(cam);
    LoadLookAtRotation(gl, v.Eye, v.Target, v.Up);
    gl.Translated(-(v.Eye.X + cam.CamPanX), -(v.Eye.Y + cam.CamPanY), -v.Eye.Z);
}

TMat4 ToolpathClipMatrix(const TGCodeCamera& cam, int width, int height)
{
    const TToolpathEye v = ToolpathEye(cam);
    return ToolpathProjectionMatrix(width, height) * LookAtRotation(v.Eye, v.Target, v.Up) *
           Translation(-(v.Eye.X + cam.CamPanX), -(v.Eye.Y + cam.CamPanY), -v.Eye.Z);
}

TGridAxis GridAxis(double from, double to)
{
    TGridAxis axis;
    axis.From = from;
    axis.To = to;
    if (!WithinFloatRange(from) || !WithinFloatRange(to)) return axis;
    const int32_t usual = UsualLineCount(from, to);
    if (usual <= kMaxGridLines) {
        axis.Count = usual;
        return axis;
    }
    // A span far beyond any bed: ten times fewer lines per power of ten.
    const double span = to - from;
    double step = kGridStep;
    while (span / step > kMaxGridLines - 3)
        step *= 10.0;
    const double first = std::floor(from / step), last = std::ceil(to / step);
    axis.From = first * step;
    axis.To = last * step;
    axis.Step = step;
    axis.Count = static_cast<int32_t>(last - first) + 1;
    return axis;
}

TFloorGrid FloorGridOver(double minX, double maxX, double minY, double maxY)
{
    auto below = [](double v) { return std::floor(v / kGridStep) * kGridStep - kGridStep; };
    auto above = [](double v) { return std::ceil(v / kGridStep) * kGridStep + kGridStep; };
    return {GridAxis(below(minX), above(maxX)), GridAxis(below(minY), above(maxY))};
}

TFloorGrid FloorGridAround(double x, double y)
{
    return {GridAxis(x - kGridHalfSize, x + kGridHalfSize), GridAxis(y - kGridHalfSize, y + kGridHalfSize)};
}

void DrawFloorGrid(const TGLApi& gl, const TFloorGrid& grid, const TColor& color)
{
    const TGridAxis& gx = grid.X;
    const TGridAxis& gy = grid.Y;
    gl.LineWidth(1.0f);
    SetColor(gl, color);
    gl.Begin(gl::LINES);
    double x = gx.From;
    for (int32_t k = 0; k < gx.Count; ++k, x += gx.Step) {
        TScenePoint a = ToScene(x, gy.From, 0.0), b = ToScene(x, gy.To, 0.0);
        gl.Vertex3f(a.X, a.Y, a.Z);
        gl.Vertex3f(b.X, b.Y, b.Z);
    }
    double y = gy.From;
    for (int32_t k = 0; k < gy.Count; ++k, y += gy.Step) {
        TScenePoint a = ToScene(gx.From, y, 0.0), b = ToScene(gx.To, y, 0.0);
        gl.Vertex3f(a.X, a.Y, a.Z);
        gl.Vertex3f(b.X, b.Y, b.Z);
    }
    gl.End();
}

}  // namespace voxaro
