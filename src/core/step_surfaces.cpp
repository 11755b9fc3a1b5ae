// Surface entities as surfaces (geom/surfaces.h): the elementary ones over
// their placements, B-spline and Bezier patches (rational ones written as
// complex instances), surfaces swept from a curve, and offsets.
#include <algorithm>
#include <cmath>
#include <memory>

#include "geom/bspline.h"
#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr int kMaxSurfaceDepth = 8;
constexpr size_t kMaxControlPoints = 4000000;
constexpr size_t kMaxKnots = 1000000;

using TItems = std::vector<std::string_view>;

// Rows of control points: "((#1,#2),(#3,#4))", row i along u.
bool ReadPointGrid(const TStepScene& scene, std::string_view grid, TBSplineSurface& out)
{
    TItems rows;
    OpenList(grid, rows);
    if (rows.empty() || rows.size() > kMaxControlPoints) return false;
    out.Points.clear();
    std::vector<TVec3> row;
    for (std::string_view r : rows) {
        if (!ReadPointList(scene, r, row, kMaxControlPoints - out.Points.size())) return false;
        if (out.Points.empty()) out.CountV = static_cast<int>(row.size());
        if (static_cast<int>(row.size()) != out.CountV) return false;
        out.Points.insert(out.Points.end(), row.begin(), row.end());
    }
    out.CountU = static_cast<int>(rows.size());
    return true;
}

bool ReadDegree(std::string_view text, int& degree)
{
    degree = static_cast<int>(std::clamp(StepStrToFloat(text), -1.0, 1000.0));
    return degree >= 1;
}

// head: u degree, v degree, control points, form, u closed, v closed,
// self-intersecting; knots: u and v multiplicities, u and v knots, type
// (empty for a Bezier patch).
bool ReadSplineParts(const TStepScene& scene, const TItems& head, const TItems& knots, std::string_view weights,
                     bool bezier, TBSplineSurface& out)
{
    if (head.size() < 3 || !ReadDegree(head[0], out.DegreeU) || !ReadDegree(head[1], out.DegreeV) ||
        !ReadPointGrid(scene, head[2], out))
        return false;
    if (bezier) {
        out.KnotsU = MakeBezierKnots(out.DegreeU);
        out.KnotsV = MakeBezierKnots(out.DegreeV);
    } else {
        std::vector<int> mu, mv;
        std::vector<double> ku, kv;
        if (knots.size() < 4 || !ReadIntList(knots[0], mu, kMaxKnots) || !ReadIntList(knots[1], mv, kMaxKnots) ||
            !ReadNumberList(knots[2], ku, kMaxKnots) || !ReadNumberList(knots[3], kv, kMaxKnots) ||
            !ExpandKnots(mu, ku, out.KnotsU, kMaxKnots) || !ExpandKnots(mv, kv, out.KnotsV, kMaxKnots))
            return false;
    }
    if (weights.data() && !ReadNumberList(weights, out.Weights, kMaxControlPoints)) return false;
    return Validate(out);
}

bool ReadSplineSurface(const TStepScene& scene, const TStepEntity& e, TSurface& out)
{
    auto spline = std::make_shared<TBSplineSurface>();
    bool ok = false;
    if (e.TypeCode == stBSplineSurfaceWithKnots) {
        ok = ReadSplineParts(scene, ParamRange(scene, e, 1, 7), ParamRange(scene, e, 8, 5), {}, false, *spline);
    } else if (e.TypeCode == stBezierSurface) {
        ok = ReadSplineParts(scene, ParamRange(scene, e, 1, 7), {}, {}, true, *spline);
    } else {
        const std::string_view raw = scene.Raw(e);
        const std::string_view head = ComplexPart(raw, "B_SPLINE_SURFACE");
        const std::string_view knots = ComplexPart(raw, "B_SPLINE_SURFACE_WITH_KNOTS");
        const bool bezier = !knots.data() && ComplexPart(raw, "BEZIER_SURFACE").data();
        TItems headItems, knotItems;
        SplitParams(head, headItems);
        SplitParams(knots, knotItems);
        if (head.data() && (knots.data() || bezier))
            ok = ReadSplineParts(scene, headItems, knotItems, ComplexPart(raw, "RATIONAL_B_SPLINE_SURFACE"), bezier,
                                 *spline);
    }
    if (!ok) return false;
    out.Kind = skBSpline;
    out.Spline = std::move(spline);
    return true;
}

bool ReadAxis1(const TStepScene& scene, int32_t pos, TFrame& f)
{
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stAxis1Placement, 2) || !ReadPoint(scene, ResolveParam(scene, *e, 1), f.Origin)) return false;
    TVec3 axis{0, 0, 1};
    if (e->ParamCount >= 3) ReadPoint(scene, ResolveParam(scene, *e, 2), axis);
    f.Z = Normalized(axis);
    return IsFinite(f.Origin);
}

bool ReadElementary(const TStepScene& scene, const TStepEntity& e, TSurface& out, double angleUnit)
{
    static const struct {
        uint8_t Code;
        TSurfaceKind Kind;
        uint32_t Params;
    } kinds[] = {{stPlane, skPlane, 2},
                 {stCylindricalSurface, skCylinder, 3},
                 {stConicalSurface, skCone, 4},
                 {stSphericalSurface, skSphere, 3},
                 {stToroidalSurface, skTorus, 4}};
    for (const auto& k : kinds) {
        if (e.TypeCode != k.Code) continue;
        if (e.ParamCount < k.Params || !ReadFrame(scene, ResolveParam(scene, e, 1), out.Frame)) return false;
        out.Kind = k.Kind;
        if (k.Params >= 3) out.Radius = StepStrToFloat(scene.Param(e, 2));
        if (k.Kind == skCone) out.Angle = StepStrToFloat(scene.Param(e, 3)) * angleUnit;
        if (k.Kind == skTorus) out.Radius2 = StepStrToFloat(scene.Param(e, 3));
        return true;
    }
    return false;
}

}  // namespace

bool ReadStepSurface(const TStepScene& scene, int32_t pos, TSurface& out, int depth)
{
    const TStepEntity* e = scene.At(pos);
    if (!e || depth > kMaxSurfaceDepth) return false;
    if (ReadElementary(scene, *e, out, scene.AngleUnit)) return SurfaceIsUsable(out);
    switch (e->TypeCode) {
    case stBSplineSurfaceWithKnots:
    case stBezierSurface:
    case stComplex: return ReadSplineSurface(scene, *e, out);
    case stSurfaceOfRevolution:
        out.Kind = skRevolution;
        return e->ParamCount >= 3 && ReadStepCurve(scene, ResolveParam(scene, *e, 1), out.Curve) &&
               ReadAxis1(scene, ResolveParam(scene, *e, 2), out.Frame);
    case stSurfaceOfLinearExtrusion: {
        out.Kind = skExtrusion;
        const TStepEntity* v = scene.At(ResolveParam(scene, *e, 2));
        TVec3 d;
        if (e->ParamCount < 3 || !ReadStepCurve(scene, ResolveParam(scene, *e, 1), out.Curve) ||
            !HasType(v, stVector, 3) || !ReadPoint(scene, ResolveParam(scene, *v, 1), d))
            return false;
        out.Direction = Normalized(d, {0, 0, 0}) * StepStrToFloat(scene.Param(*v, 2));
        return Dot(out.Direction, out.Direction) > 0 && IsFinite(out.Direction);
    }
    case stOffsetSurface: {
        auto base = std::make_shared<TSurface>();
        if (e->ParamCount < 3 || !ReadStepSurface(scene, ResolveParam(scene, *e, 1), *base, depth + 1)) return false;
        out.Kind = skOffset;
        out.Base = std::move(base);
        out.Distance = StepStrToFloat(scene.Param(*e, 2));
        return SurfaceIsUsable(out);
    }
    default: return false;
    }
}

bool IsPlaneOrUnknown(const TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!e) return true;
    switch (e->TypeCode) {
    case stCylindricalSurface:
    case stConicalSurface:
    case stSphericalSurface:
    case stToroidalSurface:
    case stBSplineSurfaceWithKnots:
    case stBezierSurface:
    case stSurfaceOfRevolution:
    case stSurfaceOfLinearExtrusion:
    case stOffsetSurface: return false;
    case stComplex:
        return !ComplexPart(scene.Raw(*e), "B_SPLINE_SURFACE").data() &&
               !ComplexPart(scene.Raw(*e), "BEZIER_SURFACE").data();
    default: return true;
    }
}

}  // namespace voxaro
