// Surface evaluation and point inversion.
#include "geom/surfaces.h"

#include <algorithm>
#include <cmath>

#include "geom/bspline.h"

namespace voxaro {

namespace {

constexpr int kMaxOffsetDepth = 8;

struct TLocal {
    double X, Y, Z;
};

TLocal ToLocal(const TFrame& f, const TVec3& p)
{
    const TVec3 d = p - f.Origin;
    return {Dot(d, f.X), Dot(d, f.Y), Dot(d, f.Z)};
}

TVec3 Radial(const TFrame& f, double u)
{
    return f.X * std::cos(u) + f.Y * std::sin(u);
}

// p turned by angle a round the axis through o along unit z.
TVec3 Rotate(const TVec3& p, const TVec3& o, const TVec3& z, double a)
{
    const TVec3 d = p - o;
    const TVec3 along = z * Dot(d, z);
    const TVec3 across = d - along;
    return o + along + across * std::cos(a) + Cross(z, across) * std::sin(a);
}

// Normal from central differences, for surfaces without a closed form.
TVec3 NumericNormal(const TSurface& s, double u, double v)
{
    const double h = 1e-6 * (1 + std::fabs(u)), k = 1e-6 * (1 + std::fabs(v));
    const TVec3 du = SurfacePoint(s, u + h, v) - SurfacePoint(s, u - h, v);
    const TVec3 dv = SurfacePoint(s, u, v + k) - SurfacePoint(s, u, v - k);
    return Normalized(Cross(du, dv), {0, 0, 0});
}

// Nearest parameter of a curve to p measured only across the direction d
// (extrusions), or by distance to the axis and height along it (revolutions).
template <typename Metric> bool NearestCurveParam(const TCurve& c, Metric&& distance, double& best)
{
    double t0, t1;
    CurveRange(c, t0, t1);
    if (c.Kind == ckLine) t0 = -1e6, t1 = 1e6;
    if (!(t1 > t0)) return false;
    constexpr int kSteps = 64;
    double bestD = INFINITY;
    for (int k = 0; k <= kSteps; ++k) {
        const double t = t0 + (t1 - t0) * k / kSteps;
        const double d = distance(t);
        if (d < bestD) bestD = d, best = t;
    }
    double step = (t1 - t0) / kSteps;
    for (int i = 0; i < 60 && step > 1e-13 * (1 + std::fabs(best)); ++i) {  // golden-free bracketing descent
        const double a = std::max(t0, best - step), b = std::min(t1, best + step);
        const double da = distance(a), db = distance(b);
        if (da < bestD)
            bestD = da, best = a;
        else if (db < bestD)
            bestD = db, best = b;
        else
            step *= 0.5;
    }
    return std::isfinite(bestD);
}

bool ParamOfPlaneLike(const TSurface& s, const TVec3& p, double& u, double& v, bool& poleU)
{
    const TLocal q = ToLocal(s.Frame, p);
    const double rho = std::hypot(q.X, q.Y);
    switch (s.Kind) {
    case skPlane: u = q.X, v = q.Y; return true;
    case skCylinder:
        u = std::atan2(q.Y, q.X), v = q.Z;
        poleU = rho < 1e-12;
        return true;
    case skCone: {
        v = q.Z;
        const double r = s.Radius + v * std::tan(s.Angle);
        u = r >= 0 ? std::atan2(q.Y, q.X) : std::atan2(-q.Y, -q.X);
        poleU = std::fabs(r) < 1e-9 * (1 + std::fabs(s.Radius)) || rho < 1e-12;
        return true;
    }
    case skSphere:
        u = std::atan2(q.Y, q.X), v = std::atan2(q.Z, rho);
        poleU = rho < 1e-9 * s.Radius;
        return true;
    case skTorus:
        u = std::atan2(q.Y, q.X), v = std::atan2(q.Z, rho - s.Radius);
        poleU = rho < 1e-12;
        return true;
    default: return false;
    }
}

bool ParamOfSwept(const TSurface& s, const TVec3& p, double& u, double& v)
{
    if (s.Kind == skExtrusion) {
        const TVec3 d = s.Direction;
        const double len2 = Dot(d, d);
        if (!(len2 > 0)) return false;
        auto across = [&](double t) {
            const TVec3 w = p - CurvePoint(s.Curve, t);
            return Length(w - d * (Dot(w, d) / len2));
        };
        if (!NearestCurveParam(s.Curve, across, u)) return false;
        v = Dot(p - CurvePoint(s.Curve, u), d) / len2;
        return true;
    }
    const TVec3 &o = s.Frame.Origin, &z = s.Frame.Z;
    auto profile = [&](const TVec3& q) {
        const TVec3 d = q - o;
        const double h = Dot(d, z);
        return std::pair<double, double>(h, Length(d - z * h));
    };
    const auto target = profile(p);
    auto gap = [&](double t) {
        const auto c = profile(CurvePoint(s.Curve, t));
        return std::hypot(c.first - target.first, c.second - target.second);
    };
    if (!NearestCurveParam(s.Curve, gap, v)) return false;
    const TVec3 c = CurvePoint(s.Curve, v) - o, q = p - o;
    const TVec3 a = c - z * Dot(c, z), b = q - z * Dot(q, z);
    u = std::atan2(Dot(Cross(a, b), z), Dot(a, b));
    return std::isfinite(u);
}

// The width of a closed B-spline patch's domain along u (or v), 0 when open.
double SplinePeriod(const TBSplineSurface& s, bool alongU)
{
    double u0, u1, v0, v1;
    if (!SurfaceDomain(s, u0, u1, v0, v1)) return 0;
    if (alongU) return SurfaceClosedU(s, 1e-6 * (1 + Length(s.Points.front()))) ? u1 - u0 : 0.0;
    return SurfaceClosedV(s, 1e-6 * (1 + Length(s.Points.front()))) ? v1 - v0 : 0.0;
}

}  // namespace

TVec3 SurfacePoint(const TSurface& s, double u, double v)
{
    const TFrame& f = s.Frame;
    switch (s.Kind) {
    case skPlane: return f.Origin + f.X * u + f.Y * v;
    case skCylinder: return f.Origin + Radial(f, u) * s.Radius + f.Z * v;
    case skCone: return f.Origin + Radial(f, u) * (s.Radius + v * std::tan(s.Angle)) + f.Z * v;
    case skSphere: return f.Origin + Radial(f, u) * (s.Radius * std::cos(v)) + f.Z * (s.Radius * std::sin(v));
    case skTorus:
        return f.Origin + Radial(f, u) * (s.Radius + s.Radius2 * std::cos(v)) + f.Z * (s.Radius2 * std::sin(v));
    case skBSpline: return s.Spline ? SurfacePoint(*s.Spline, u, v) : TVec3{0, 0, 0};
    case skRevolution: return Rotate(CurvePoint(s.Curve, v), f.Origin, f.Z, u);
    case skExtrusion: return CurvePoint(s.Curve, u) + s.Direction * v;
    case skOffset:
        if (!s.Base) return {0, 0, 0};
        return SurfacePoint(*s.Base, u, v) + SurfaceNormal(*s.Base, u, v) * s.Distance;
    }
    return {0, 0, 0};
}

TVec3 SurfaceNormal(const TSurface& s, double u, double v)
{
    const TFrame& f = s.Frame;
    switch (s.Kind) {
    case skPlane: return f.Z;
    case skCylinder: return Radial(f, u);
    case skCone: {
        const double sign = s.Radius + v * std::tan(s.Angle) < 0 ? -1.0 : 1.0;
        return Normalized(Radial(f, u) - f.Z * std::tan(s.Angle)) * sign;
    }
    case skSphere:
    case skTorus: return Radial(f, u) * std::cos(v) + f.Z * std::sin(v);
    case skBSpline: {
        if (!s.Spline) return f.Z;
        TVec3 p, du, dv;
        SurfaceDerivatives(*s.Spline, u, v, p, du, dv);
        const TVec3 n = Normalized(Cross(du, dv), {0, 0, 0});
        return Dot(n, n) > 0 ? n : NumericNormal(s, u, v);
    }
    case skOffset: return s.Base ? SurfaceNormal(*s.Base, u, v) : f.Z;
    default: return NumericNormal(s, u, v);
    }
}

void SurfacePointAndNormal(const TSurface& s, double u, double v, TVec3& point, TVec3& normal)
{
    if (s.Kind == skBSpline && s.Spline) {
        TVec3 du, dv;
        SurfaceDerivatives(*s.Spline, u, v, point, du, dv);
        normal = Normalized(Cross(du, dv), {0, 0, 0});
        if (Dot(normal, normal) > 0) return;
    }
    point = SurfacePoint(s, u, v);
    normal = SurfaceNormal(s, u, v);
}

bool SurfaceParam(const TSurface& s, const TVec3& p, const TUVHint& hint, double& u, double& v, bool& poleU)
{
    poleU = false;
    u = v = 0;
    switch (s.Kind) {
    case skBSpline:
        if (!s.Spline) return false;
        // The nearest point found is good enough whatever the search says:
        // the caller measures how far it lies.
        if (hint.Has)
            InvertSurfacePointNear(*s.Spline, p, hint.U, hint.V, u, v, hint.Tolerance);
        else
            InvertSurfacePoint(*s.Spline, p, u, v, hint.Tolerance);
        return std::isfinite(u) && std::isfinite(v);
    case skRevolution:
    case skExtrusion: return ParamOfSwept(s, p, u, v);
    case skOffset: {
        const TSurface* base = s.Base.get();
        for (int depth = 0; base && base->Kind == skOffset && depth < kMaxOffsetDepth; ++depth)
            base = base->Base.get();
        return base && base->Kind != skOffset && SurfaceParam(*base, p, hint, u, v, poleU);
    }
    default: return ParamOfPlaneLike(s, p, u, v, poleU);
    }
}

double SurfacePeriodU(const TSurface& s)
{
    switch (s.Kind) {
    case skCylinder:
    case skCone:
    case skSphere:
    case skTorus:
    case skRevolution: return 2 * kPi;
    case skBSpline: return s.Spline ? SplinePeriod(*s.Spline, true) : 0.0;
    case skExtrusion: return CurvePeriod(s.Curve);
    case skOffset: return s.Base ? SurfacePeriodU(*s.Base) : 0.0;
    default: return 0;
    }
}

double SurfacePeriodV(const TSurface& s)
{
    switch (s.Kind) {
    case skTorus: return 2 * kPi;
    case skBSpline: return s.Spline ? SplinePeriod(*s.Spline, false) : 0.0;
    case skRevolution: return CurvePeriod(s.Curve);
    case skOffset: return s.Base ? SurfacePeriodV(*s.Base) : 0.0;
    default: return 0;
    }
}

bool SurfacePoleV(const TSurface& s, bool upper, double& v)
{
    if (s.Kind == skSphere) {
        v = upper ? kPi / 2 : -kPi / 2;
        return true;
    }
    if (s.Kind == skCone) {
        const double t = std::tan(s.Angle);
        if (!(std::fabs(t) > 1e-12)) return false;
        v = -s.Radius / t;
        return upper == (v > 0);
    }
    return false;
}

bool SurfaceIsUsable(const TSurface& s)
{
    auto finite = [](double x) { return std::isfinite(x) && std::fabs(x) < 1e100; };
    if (!IsFinite(s.Frame.Origin) || !(std::fabs(Length(s.Frame.Z) - 1) < 1e-6)) return false;
    switch (s.Kind) {
    case skCylinder:
    case skSphere: return finite(s.Radius) && s.Radius > 0;
    case skCone:
        return finite(s.Radius) && s.Radius >= 0 && finite(s.Angle) && std::fabs(s.Angle) < kPi / 2 - 1e-9 &&
               std::fabs(s.Angle) > 1e-12;
    case skTorus: return finite(s.Radius) && finite(s.Radius2) && s.Radius2 > 0 && s.Radius > s.Radius2;
    case skBSpline: return s.Spline != nullptr;
    case skOffset: return s.Base && finite(s.Distance);
    default: return true;
    }
}

}  // namespace voxaro
