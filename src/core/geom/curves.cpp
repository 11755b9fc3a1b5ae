// Curve evaluation and sampling.
#include "geom/curves.h"

#include <algorithm>
#include <cmath>

#include "geom/bspline.h"

namespace voxaro {

namespace {

constexpr int kMaxDepth = 14;

TVec3 OnFrame(const TFrame& f, double x, double y)
{
    return f.Origin + f.X * x + f.Y * y;
}

// Angle of p around the frame's Z axis, measured from X, in (-pi, pi].
double FrameAngle(const TFrame& f, const TVec3& p, double sx, double sy)
{
    const TVec3 d = p - f.Origin;
    return std::atan2(Dot(d, f.Y) / sy, Dot(d, f.X) / sx);
}

// Uniform steps for a circle-like curve of the given largest radius.
void SampleArc(double radius, double t0, double t1, const TSampling& s, std::vector<double>& out)
{
    double step = s.MaxAngle;
    if (radius > 0 && s.Tolerance > 0 && s.Tolerance < radius)
        step = std::min(step, 2 * std::acos(1 - s.Tolerance / radius));
    const double span = std::fabs(t1 - t0);
    if (!(step > 1e-6) || !std::isfinite(span)) return;
    const double pieces = std::min(std::ceil(span / step), static_cast<double>(s.MaxPoints) + 1);
    const int n = static_cast<int>(pieces);
    for (int k = 1; k < n; ++k)
        out.push_back(t0 + (t1 - t0) * k / n);
}

double ChordDistance(const TVec3& a, const TVec3& b, const TVec3& p)
{
    const TVec3 ab = b - a, ap = p - a;
    const double len2 = Dot(ab, ab);
    if (!(len2 > 0)) return Length(ap);
    const double t = std::clamp(Dot(ap, ab) / len2, 0.0, 1.0);
    return Length(ap - ab * t);
}

double TurnAngle(const TVec3& a, const TVec3& m, const TVec3& b)
{
    const TVec3 u = m - a, v = b - m;
    const double lu = Length(u), lv = Length(v);
    if (!(lu > 0) || !(lv > 0)) return 0;
    return std::acos(std::clamp(Dot(u, v) / (lu * lv), -1.0, 1.0));
}

// Splits [t0, t1] in halves while the chord is too far from the curve or
// turns too much, appending the inner parameters in order.
void Subdivide(const TCurve& c, double t0, const TVec3& p0, double t1, const TVec3& p1, int depth, const TSampling& s,
               std::vector<double>& out, size_t limit)
{
    const double tm = 0.5 * (t0 + t1);
    const TVec3 pm = CurvePoint(c, tm);
    const bool coarse = ChordDistance(p0, p1, pm) > s.Tolerance || TurnAngle(p0, pm, p1) > s.MaxAngle;
    if (!coarse || depth >= kMaxDepth || out.size() >= limit || !IsFinite(pm)) return;
    Subdivide(c, t0, p0, tm, pm, depth + 1, s, out, limit);
    if (out.size() < limit) out.push_back(tm);
    Subdivide(c, tm, pm, t1, p1, depth + 1, s, out, limit);
}

// Adaptive sampling from `pieces` equal starting pieces.
void SampleAdaptive(const TCurve& c, double t0, double t1, int pieces, const TSampling& s, std::vector<double>& out)
{
    const size_t limit = out.size() + s.MaxPoints;
    TVec3 previous = CurvePoint(c, t0);
    for (int k = 1; k <= pieces && out.size() < limit; ++k) {
        const double a = t0 + (t1 - t0) * (k - 1) / pieces, b = t0 + (t1 - t0) * k / pieces;
        const TVec3 next = CurvePoint(c, b);
        Subdivide(c, a, previous, b, next, 0, s, out, limit);
        if (k < pieces && out.size() < limit) out.push_back(b);
        previous = next;
    }
}

// Starting pieces of a B-spline: one per knot span within [t0, t1] (two at
// the least); halving then follows the curve where it bends.
int SplinePieces(const TBSplineCurve& spline, double t0, double t1)
{
    const double lo = std::min(t0, t1), hi = std::max(t0, t1);
    int spans = 0;
    for (size_t k = 1; k < spline.Knots.size() && spans < 4096; ++k)
        if (spline.Knots[k] > spline.Knots[k - 1] && spline.Knots[k] > lo && spline.Knots[k - 1] < hi) ++spans;
    return std::clamp(spans, 2, 4096);
}

bool PolylineParam(const std::vector<TVec3>& points, const TVec3& p, double& t)
{
    double best = INFINITY;
    for (size_t k = 0; k + 1 < points.size(); ++k) {
        const TVec3 ab = points[k + 1] - points[k];
        const double len2 = Dot(ab, ab);
        const double s = len2 > 0 ? std::clamp(Dot(p - points[k], ab) / len2, 0.0, 1.0) : 0.0;
        const double d = Length(points[k] + ab * s - p);
        if (d < best) best = d, t = static_cast<double>(k) + s;
    }
    return best < INFINITY;
}

}  // namespace

double CurvePeriod(const TCurve& c)
{
    return c.Kind == ckCircle || c.Kind == ckEllipse ? 2 * kPi : 0.0;
}

TVec3 CurvePoint(const TCurve& c, double t)
{
    switch (c.Kind) {
    case ckLine: return c.Frame.Origin + c.Frame.X * t;
    case ckCircle: return OnFrame(c.Frame, c.Radius * std::cos(t), c.Radius * std::sin(t));
    case ckEllipse: return OnFrame(c.Frame, c.Radius * std::cos(t), c.Radius2 * std::sin(t));
    case ckPolyline: {
        if (c.Points.empty()) return {0, 0, 0};
        const double last = static_cast<double>(c.Points.size() - 1);
        const double at = std::isfinite(t) ? std::clamp(t, 0.0, last) : 0.0;
        const size_t k = std::min(static_cast<size_t>(at), c.Points.size() - 1);
        if (k + 1 >= c.Points.size()) return c.Points.back();
        return c.Points[k] + (c.Points[k + 1] - c.Points[k]) * (at - static_cast<double>(k));
    }
    case ckBSpline: return c.Spline ? CurvePoint(*c.Spline, t) : TVec3{0, 0, 0};
    }
    return {0, 0, 0};
}

bool CurveParam(const TCurve& c, const TVec3& p, double& t)
{
    t = 0;
    switch (c.Kind) {
    case ckLine: {
        const double len2 = Dot(c.Frame.X, c.Frame.X);
        if (!(len2 > 0)) return false;
        t = Dot(p - c.Frame.Origin, c.Frame.X) / len2;
        return std::isfinite(t);
    }
    case ckCircle:
    case ckEllipse: {
        const double rx = c.Radius, ry = c.Kind == ckCircle ? c.Radius : c.Radius2;
        if (!(rx > 0) || !(ry > 0)) return false;
        t = FrameAngle(c.Frame, p, rx, ry);
        return std::isfinite(t);
    }
    case ckPolyline: return PolylineParam(c.Points, p, t);
    case ckBSpline: {
        if (!c.Spline) return false;
        // Edges mostly run from one end of their curve to the other.
        const double ends[2] = {FirstParam(*c.Spline), LastParam(*c.Spline)};
        const TVec3 a = CurvePoint(*c.Spline, ends[0]), b = CurvePoint(*c.Spline, ends[1]);
        const double scale = 1e-7 * (1 + Length(a - b) + Length(p));
        for (int k = 0; k < 2; ++k)
            if (Length((k ? b : a) - p) <= scale) return t = ends[k], true;
        InvertCurvePoint(*c.Spline, p, t);  // the nearest point found, however near
        return std::isfinite(t);
    }
    }
    return false;
}

void CurveRange(const TCurve& c, double& t0, double& t1)
{
    t0 = 0, t1 = 0;
    if (c.Kind == ckCircle || c.Kind == ckEllipse) {
        t1 = 2 * kPi;
    } else if (c.Kind == ckPolyline && !c.Points.empty()) {
        t1 = static_cast<double>(c.Points.size() - 1);
    } else if (c.Kind == ckBSpline && c.Spline) {
        t0 = FirstParam(*c.Spline);
        t1 = LastParam(*c.Spline);
    }
}

void SampleCurve(const TCurve& c, double t0, double t1, const TSampling& s, std::vector<double>& out)
{
    out.clear();
    if (!std::isfinite(t0) || !std::isfinite(t1) || t0 == t1) return;
    switch (c.Kind) {
    case ckLine: return;
    case ckCircle: SampleArc(c.Radius, t0, t1, s, out); return;
    case ckEllipse: SampleArc(std::max(c.Radius, c.Radius2), t0, t1, s, out); return;
    case ckPolyline: {
        const double step = t1 > t0 ? 1.0 : -1.0;
        for (double k = t1 > t0 ? std::floor(t0) + 1 : std::ceil(t0) - 1; (t1 - k) * step > 1e-9; k += step)
            if (std::fabs(k - t0) > 1e-9 && out.size() < s.MaxPoints) out.push_back(k);
        return;
    }
    case ckBSpline:
        if (c.Spline) SampleAdaptive(c, t0, t1, SplinePieces(*c.Spline, t0, t1), s, out);
        return;
    }
}

}  // namespace voxaro
