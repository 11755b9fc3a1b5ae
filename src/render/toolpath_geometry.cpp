#include "toolpath_geometry.h"

#include <algorithm>

#include "geom/vec3.h"

namespace voxaro {

namespace {
constexpr double kArcPieceAngle = 0.08726646259971647;  // 5 degrees
constexpr int kMinArcPieces = 4;
constexpr float kMinBoxLength = 1e-5f;
}  // namespace

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

int ArcPieceCount(const TGCodeMove& arc, const TGCodeMove& start)
{
    return MakeArc(arc, start).Pieces;
}

void ArcPiece(const TArc& a, int k, const TGCodeMove& arc, const TGCodeMove& start, TScenePoint& p0, TScenePoint& p1)
{
    double angle0 = a.StartAngle + (k - 1) * a.Sweep / a.Pieces;
    double angle1 = a.StartAngle + k * a.Sweep / a.Pieces;
    p0 = ToScene(a.CX + a.Radius * std::cos(angle0), a.CY + a.Radius * std::sin(angle0), start.Z);
    p1 = ToScene(a.CX + a.Radius * std::cos(angle1), a.CY + a.Radius * std::sin(angle1), arc.Z);
}

}  // namespace voxaro
