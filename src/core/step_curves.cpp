// Where STEP entities become maths: placements as frames, curve entities as
// curves (geom/curves.h), and the points along each edge of the boundary
// representation, pooled once per edge and shared by the faces on both sides.
#include <algorithm>
#include <cmath>
#include <memory>

#include "geom/bspline.h"
#include "reader_error.h"
#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr int kMaxCurveDepth = 8;
constexpr size_t kMaxControlPoints = 1000000;
constexpr size_t kMaxKnots = 1000000;

bool ReadVector(const TStepScene& scene, int32_t pos, TVec3& out)
{
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stVector, 3)) return false;
    TVec3 d;
    if (!ReadPoint(scene, ResolveParam(scene, *e, 1), d)) return false;
    out = Normalized(d, {0, 0, 0}) * StepStrToFloat(scene.Param(*e, 2));
    return Dot(out, out) > 0;
}

using TItems = std::vector<std::string_view>;

// head: degree, control points, form, closed, self-intersecting; knots:
// multiplicities, knot values, knot type (empty for a Bezier curve).
bool ReadBSplineCurveParts(const TStepScene& scene, const TItems& head, const TItems& knots, std::string_view weights,
                           bool bezier, TBSplineCurve& out)
{
    if (head.size() < 2) return false;
    out.Degree = static_cast<int>(std::clamp(StepStrToFloat(head[0]), -1.0, 1000.0));
    if (!ReadPointList(scene, head[1], out.Points, kMaxControlPoints)) return false;
    if (bezier) {
        out.Knots = MakeBezierKnots(out.Degree);
    } else {
        std::vector<int> mults;
        std::vector<double> values;
        if (knots.size() < 2 || !ReadIntList(knots[0], mults, kMaxKnots) ||
            !ReadNumberList(knots[1], values, kMaxKnots) || !ExpandKnots(mults, values, out.Knots, kMaxKnots))
            return false;
    }
    if (weights.data() && !ReadNumberList(weights, out.Weights, kMaxControlPoints)) return false;
    return Validate(out);
}

bool ReadBSplineCurve(const TStepScene& scene, const TStepEntity& e, TCurve& out)
{
    auto spline = std::make_shared<TBSplineCurve>();
    bool ok = false;
    if (e.TypeCode == stBSplineCurveWithKnots) {
        ok = ReadBSplineCurveParts(scene, ParamRange(scene, e, 1, 5), ParamRange(scene, e, 6, 3), {}, false, *spline);
    } else if (e.TypeCode == stBezierCurve) {
        ok = ReadBSplineCurveParts(scene, ParamRange(scene, e, 1, 5), {}, {}, true, *spline);
    } else if (e.TypeCode == stComplex) {
        const std::string_view raw = scene.Raw(e);
        const std::string_view head = ComplexPart(raw, "B_SPLINE_CURVE");
        const std::string_view knots = ComplexPart(raw, "B_SPLINE_CURVE_WITH_KNOTS");
        const bool bezier = !knots.data() && ComplexPart(raw, "BEZIER_CURVE").data();
        TItems headItems, knotItems;
        SplitParams(head, headItems);
        SplitParams(knots, knotItems);
        if (head.data() && (knots.data() || bezier))
            ok = ReadBSplineCurveParts(scene, headItems, knotItems, ComplexPart(raw, "RATIONAL_B_SPLINE_CURVE"), bezier,
                                       *spline);
    }
    if (!ok) return false;
    out.Kind = ckBSpline;
    out.Spline = std::move(spline);
    return true;
}

bool ReadPolyline(const TStepScene& scene, const TStepEntity& e, TCurve& out)
{
    if (e.ParamCount < 2 || !ReadPointList(scene, scene.Param(e, 1), out.Points, kMaxControlPoints)) return false;
    out.Kind = ckPolyline;
    return out.Points.size() >= 2;
}

}  // namespace

std::vector<std::string_view> ParamRange(const TStepScene& scene, const TStepEntity& e, uint32_t first, uint32_t count)
{
    std::vector<std::string_view> items;
    for (uint32_t i = first; i < first + count && i < e.ParamCount; ++i)
        items.push_back(scene.Param(e, i));
    return items;
}

std::string_view ComplexPart(std::string_view raw, std::string_view name)
{
    for (size_t at = 0; (at = raw.find(name, at)) != std::string_view::npos; at += name.size()) {
        const bool startsWord =
            at == 0 || !(std::isalnum(static_cast<unsigned char>(raw[at - 1])) || raw[at - 1] == '_');
        size_t open = at + name.size();
        while (open < raw.size() && IsBlank(raw[open]))
            ++open;
        if (!startsWord || open >= raw.size() || raw[open] != '(') continue;
        int depth = 0;
        for (size_t i = open; i < raw.size(); ++i) {
            if (raw[i] == '(') ++depth;
            if (raw[i] == ')' && --depth == 0) return raw.substr(open + 1, i - open - 1);
        }
        return {};
    }
    return {};
}

bool ReadNumberList(std::string_view list, std::vector<double>& out, size_t cap)
{
    std::vector<std::string_view> items;
    OpenList(list, items);
    if (items.size() > cap) return false;
    out.clear();
    out.reserve(items.size());
    for (std::string_view item : items) {
        item = Trim(item);
        if (!item.empty() && item.front() == '(') {  // a nested row (surface weights)
            std::vector<double> row;
            if (!ReadNumberList(item, row, cap - out.size())) return false;
            out.insert(out.end(), row.begin(), row.end());
        } else {
            out.push_back(StepStrToFloat(item));
        }
        if (out.size() > cap) return false;
    }
    return true;
}

bool ReadIntList(std::string_view list, std::vector<int>& out, size_t cap)
{
    std::vector<double> values;
    if (!ReadNumberList(list, values, cap)) return false;
    out.clear();
    for (double v : values) {
        if (!(v >= 0 && v <= 1e6)) return false;
        out.push_back(static_cast<int>(v));
    }
    return true;
}

bool ReadPointList(const TStepScene& scene, std::string_view list, std::vector<TVec3>& out, size_t cap)
{
    std::vector<std::string_view> items;
    OpenList(list, items);
    if (items.size() > cap) return false;
    out.clear();
    out.reserve(items.size());
    for (std::string_view item : items) {
        TVec3 p;
        if (!ReadPoint(scene, FindEntity(scene, ParseRef(item)), p)) return false;
        out.push_back(p);
    }
    return !out.empty();
}

bool ReadFrame(const TStepScene& scene, int32_t pos, TFrame& f)
{
    TStepMatrix m;
    if (!ReadPlacement(scene, pos, m)) return false;
    f.Origin = {m[12], m[13], m[14]};
    f.Z = Normalized({m[8], m[9], m[10]});
    const TVec3 ref{m[0], m[1], m[2]};
    f.X = Normalized(ref - f.Z * Dot(ref, f.Z), {0, 0, 0});
    if (Dot(f.X, f.X) == 0) {  // a reference along the axis: any perpendicular will do
        const TVec3 other = std::fabs(f.Z.X) < 0.9 ? TVec3{1, 0, 0} : TVec3{0, 1, 0};
        f.X = Normalized(other - f.Z * Dot(other, f.Z));
    }
    f.Y = Cross(f.Z, f.X);
    return IsFinite(f.Origin);
}

bool ReadStepCurve(const TStepScene& scene, int32_t pos, TCurve& out)
{
    for (int depth = 0; depth < kMaxCurveDepth; ++depth) {
        const TStepEntity* e = scene.At(pos);
        if (!e) return false;
        switch (e->TypeCode) {
        case stSurfaceCurve:
        case stTrimmedCurve:
            if (e->ParamCount < 2) return false;
            pos = ResolveParam(scene, *e, 1);
            continue;
        case stLine: {
            if (e->ParamCount < 3 || !ReadPoint(scene, ResolveParam(scene, *e, 1), out.Frame.Origin)) return false;
            out.Kind = ckLine;
            return ReadVector(scene, ResolveParam(scene, *e, 2), out.Frame.X);
        }
        case stCircle:
        case stEllipse: {
            const bool circle = e->TypeCode == stCircle;
            if (e->ParamCount < (circle ? 3u : 4u) || !ReadFrame(scene, ResolveParam(scene, *e, 1), out.Frame))
                return false;
            out.Kind = circle ? ckCircle : ckEllipse;
            out.Radius = StepStrToFloat(scene.Param(*e, 2));
            out.Radius2 = circle ? out.Radius : StepStrToFloat(scene.Param(*e, 3));
            return out.Radius > 0 && out.Radius2 > 0 && std::isfinite(out.Radius) && std::isfinite(out.Radius2);
        }
        case stPolyline: return ReadPolyline(scene, *e, out);
        case stBSplineCurveWithKnots:
        case stBezierCurve:
        case stComplex: return ReadBSplineCurve(scene, *e, out);
        default: return false;
        }
    }
    return false;
}

namespace {

bool SamePoint(const TVec3& a, const TVec3& b)
{
    return Length(a - b) <= 1e-9 * (1 + std::max(Length(a), Length(b)));
}

// The curve parameters of an edge's ends, in the direction of the edge.
bool EdgeParams(const TCurve& c, const TVec3& start, const TVec3& end, bool closed, bool sameSense, double& t0,
                double& t1)
{
    const double period = CurvePeriod(c);
    if (closed && period == 0) {
        CurveRange(c, t0, t1);
        if (!sameSense) std::swap(t0, t1);
        return t1 != t0;
    }
    if (!CurveParam(c, start, t0) || !CurveParam(c, end, t1)) return false;
    if (period > 0) {
        if (closed) t1 = t0;
        if (sameSense && t1 <= t0 + 1e-12) t1 += period;
        if (!sameSense && t1 >= t0 - 1e-12) t1 -= period;
    }
    return true;
}

// The largest radius of the file's circles and round surfaces.
double LargestRadius(const TStepScene& scene)
{
    double largest = 0;
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        const bool round = e.TypeCode == stCircle || e.TypeCode == stSphericalSurface ||
                           e.TypeCode == stCylindricalSurface || e.TypeCode == stToroidalSurface;
        if (!round || e.ParamCount < 3) continue;
        double r = std::fabs(StepStrToFloat(scene.Param(e, 2)));
        if (e.TypeCode == stToroidalSurface && e.ParamCount >= 4) r += std::fabs(StepStrToFloat(scene.Param(e, 3)));
        if (std::isfinite(r)) largest = std::max(largest, r);
    }
    return largest;
}

bool IsDegreeUnit(std::string_view raw)
{
    return ComplexPart(raw, "PLANE_ANGLE_UNIT").data() && ComplexPart(raw, "CONVERSION_BASED_UNIT").data();
}

}  // namespace

void SampleEdge(const TStepScene& scene, int32_t pos, std::vector<TVec3>& out)
{
    out.clear();
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stEdgeCurve, 4)) return;
    TVec3 start, end;
    bool hasStart, hasEnd;
    ReadEdgeEnds(scene, pos, start, end, hasStart, hasEnd);
    TCurve curve;
    if (!hasStart || !hasEnd || !ReadStepCurve(scene, ResolveParam(scene, *e, 3), curve) || curve.Kind == ckLine)
        return;
    const bool closed = ResolveParam(scene, *e, 1) == ResolveParam(scene, *e, 2) || SamePoint(start, end);
    const bool sameSense =
        e->ParamCount < 5 ||
        !FindNoCase(scene.Param(*e, 4).data(), scene.Param(*e, 4).data() + scene.Param(*e, 4).size(), ".F.");
    double t0, t1;
    if (!EdgeParams(curve, start, end, closed, sameSense, t0, t1)) return;
    std::vector<double> params;
    SampleCurve(curve, t0, t1, scene.Sampling, params);
    out.reserve(params.size());
    for (double t : params) {
        const TVec3 p = CurvePoint(curve, t);
        if (IsFinite(p)) out.push_back(p);
    }
}

void SetUpSampling(TStepScene& scene)
{
    TVec3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        TVec3 p;
        if (e.TypeCode == stVertexPoint && ReadVertexPoint(scene, k, p) && IsFinite(p)) {
            lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)};
            hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
        } else if (e.TypeCode == stComplex && IsDegreeUnit(scene.Raw(e))) {
            scene.AngleUnit = kPi / 180;
        }
    }
    double diagonal = lo.X <= hi.X ? Length(hi - lo) : 0.0;
    if (!(diagonal > 0)) diagonal = LargestRadius(scene) * 2;  // a whole sphere or torus has one vertex at most
    scene.Sampling.Tolerance = std::isfinite(diagonal) && diagonal > 0 ? 1e-3 * diagonal : 0.0;
    scene.EdgeCache.assign(static_cast<size_t>(scene.EntityCount), {});
}

}  // namespace voxaro
