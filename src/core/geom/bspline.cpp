// B-spline basis functions (Cox-de Boor, in the triangular form of The NURBS Book's
// A2.2 with the first derivative taken from the last step), curve and surface
// evaluation, and point inversion.
#include "geom/bspline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace voxaro {
namespace {

constexpr int kMaxOrder = kMaxBSplineDegree + 1;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr TVec3 kNaNPoint = {kNaN, kNaN, kNaN};

// Non-zero basis functions of one knot span and their first derivatives.
struct TBasis {
    size_t Span;          // knot span index: Knots[Span] <= t < Knots[Span + 1]
    double N[kMaxOrder];  // N[k] belongs to control point Span - degree + k
    double D[kMaxOrder];
};

// True for a finite value no larger in magnitude than kMaxBSplineCoordinate.
bool InRange(double x)
{
    return std::isfinite(x) && std::fabs(x) <= kMaxBSplineCoordinate;
}

// True when a knot vector fits `count` points of `degree`, is non-decreasing, repeats
// no knot more than degree + 1 times and has a non-empty domain.
bool ValidKnots(const std::vector<double>& knots, int degree, size_t count)
{
    if (knots.size() != count + static_cast<size_t>(degree) + 1) return false;
    int run = 1;
    for (size_t i = 0; i < knots.size(); ++i) {
        if (!InRange(knots[i])) return false;
        if (i == 0) continue;
        if (knots[i] < knots[i - 1]) return false;
        run = knots[i] == knots[i - 1] ? run + 1 : 1;
        if (run > degree + 1) return false;
    }
    return knots[degree] < knots[count];
}

// True when every coordinate is finite and within kMaxBSplineCoordinate.
bool ValidPoints(const std::vector<TVec3>& points)
{
    for (const TVec3& p : points)
        if (!InRange(p.X) || !InRange(p.Y) || !InRange(p.Z)) return false;
    return true;
}

// Checks the weights (none, or `count` values in the accepted range); clears them when all equal.
bool NormaliseWeights(std::vector<double>& weights, size_t count)
{
    if (weights.empty()) return true;
    if (weights.size() != count) return false;
    bool allEqual = true;
    for (double w : weights) {
        if (!(w >= kMinBSplineWeight && w <= kMaxBSplineWeight)) return false;
        allEqual = allEqual && w == weights[0];
    }
    if (allEqual) weights.clear();
    return true;
}

// Degree, point count, knot count and weight count consistent, checked in O(1).
bool ShapeOk(int degree, size_t count, size_t knotCount)
{
    return degree >= 1 && degree <= kMaxBSplineDegree && count >= static_cast<size_t>(degree) + 1 &&
           knotCount == count + static_cast<size_t>(degree) + 1;
}

// Sizes of a curve consistent enough to evaluate without reading out of bounds.
bool CurveShapeOk(const TBSplineCurve& c)
{
    return ShapeOk(c.Degree, c.Points.size(), c.Knots.size()) &&
           (c.Weights.empty() || c.Weights.size() == c.Points.size());
}

// t limited to [Knots[degree], Knots[count]]; NaN maps to the start.
double ClampParam(const std::vector<double>& knots, int degree, size_t count, double t)
{
    const double lo = knots[degree], hi = knots[count];
    if (!(t > lo)) return lo;
    if (!(t < hi)) return hi;
    return t;
}

// Span index in [degree, count - 1] holding t; at the domain end, the last span of non-zero length.
size_t FindSpan(const std::vector<double>& knots, int degree, size_t count, double t)
{
    size_t lo = static_cast<size_t>(degree), hi = count;
    while (hi - lo > 1) {  // halves every pass whatever the knot values
        const size_t mid = lo + (hi - lo) / 2;
        if (t < knots[mid])
            hi = mid;
        else
            lo = mid;
    }
    for (int k = 0; k < degree && lo > static_cast<size_t>(degree) && !(knots[lo] < knots[lo + 1]); ++k)
        --lo;
    return lo;
}

// Fills the degree + 1 non-zero basis functions at t and their derivatives.
void EvalBasis(const std::vector<double>& knots, int degree, size_t count, double t, TBasis& b)
{
    const size_t span = FindSpan(knots, degree, count, t);
    const double* k = knots.data();
    double left[kMaxOrder], right[kMaxOrder];
    b.Span = span;
    b.N[0] = 1.0;
    // Degree 0 .. degree - 1: the lower-degree functions the derivative is built from.
    for (int j = 1; j < degree; ++j) {
        left[j] = t - k[span + 1 - j];
        right[j] = k[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            const double den = right[r + 1] + left[j - r];
            const double temp = den != 0.0 ? b.N[r] / den : 0.0;
            b.N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        b.N[j] = saved;
    }
    // Last step: degree p functions and dN/dt = p * (N[r-1,p-1]/den[r-1] - N[r,p-1]/den[r]).
    left[degree] = t - k[span + 1 - degree];
    right[degree] = k[span + degree] - t;
    double saved = 0.0, prevTemp = 0.0;
    for (int r = 0; r < degree; ++r) {
        const double den = right[r + 1] + left[degree - r];
        const double temp = den != 0.0 ? b.N[r] / den : 0.0;
        b.N[r] = saved + right[r + 1] * temp;
        b.D[r] = degree * (prevTemp - temp);
        saved = left[degree - r] * temp;
        prevTemp = temp;
    }
    b.N[degree] = saved;
    b.D[degree] = degree * prevTemp;
}

// Sizes of a surface consistent enough to evaluate without reading out of bounds.
bool SurfaceShapeOk(const TBSplineSurface& s)
{
    if (s.CountU < 1 || s.CountV < 1) return false;
    const size_t cu = static_cast<size_t>(s.CountU), cv = static_cast<size_t>(s.CountV);
    const uint64_t total = static_cast<uint64_t>(cu) * cv;
    return ShapeOk(s.DegreeU, cu, s.KnotsU.size()) && ShapeOk(s.DegreeV, cv, s.KnotsV.size()) &&
           total == s.Points.size() && (s.Weights.empty() || s.Weights.size() == s.Points.size());
}

// Point and, when kDerivs, partial derivatives of a surface whose sizes fit.
template <bool kRational, bool kDerivs>
void EvalSurface(const TBSplineSurface& s, double u, double v, TVec3& point, TVec3& du, TVec3& dv)
{
    const size_t cu = static_cast<size_t>(s.CountU), cv = static_cast<size_t>(s.CountV);
    const int p = s.DegreeU, q = s.DegreeV;
    TBasis bu, bv;
    EvalBasis(s.KnotsU, p, cu, ClampParam(s.KnotsU, p, cu, u), bu);
    EvalBasis(s.KnotsV, q, cv, ClampParam(s.KnotsV, q, cv, v), bv);
    TVec3 a = {0, 0, 0}, au = {0, 0, 0}, av = {0, 0, 0};
    double w = 0.0, wu = 0.0, wv = 0.0;
    for (int i = 0; i <= p; ++i) {
        const size_t row = (bu.Span - p + i) * cv + (bv.Span - q);
        const TVec3* cp = s.Points.data() + row;
        TVec3 r = {0, 0, 0}, rv = {0, 0, 0};
        double rw = 0.0, rwv = 0.0;
        for (int j = 0; j <= q; ++j) {
            const double wj = kRational ? s.Weights[row + j] : 1.0;
            r = r + cp[j] * (bv.N[j] * wj);
            if (kRational) rw += bv.N[j] * wj;
            if (kDerivs) {
                rv = rv + cp[j] * (bv.D[j] * wj);
                if (kRational) rwv += bv.D[j] * wj;
            }
        }
        a = a + r * bu.N[i];
        w += rw * bu.N[i];
        if (kDerivs) {
            au = au + r * bu.D[i];
            av = av + rv * bu.N[i];
            wu += rw * bu.D[i];
            wv += rwv * bu.N[i];
        }
    }
    if (!kRational) {
        point = a, du = au, dv = av;
        return;
    }
    // Rational: S = A / W, S_u = (A_u - W_u S) / W, and the same along v.
    if (!(w != 0.0)) {
        point = du = dv = kNaNPoint;
        return;
    }
    const double inv = 1.0 / w;
    point = a * inv;
    du = (au - point * wu) * inv;
    dv = (av - point * wv) * inv;
}

// Dispatches to the rational or plain evaluation; NaN for a surface whose sizes do not fit.
void EvalSurfaceAny(const TBSplineSurface& s, double u, double v, bool derivs, TVec3& point, TVec3& du, TVec3& dv)
{
    if (!SurfaceShapeOk(s)) {
        point = du = dv = kNaNPoint;
        return;
    }
    const bool rational = !s.Weights.empty();
    if (derivs && rational)
        EvalSurface<true, true>(s, u, v, point, du, dv);
    else if (derivs)
        EvalSurface<false, true>(s, u, v, point, du, dv);
    else if (rational)
        EvalSurface<true, false>(s, u, v, point, du, dv);
    else
        EvalSurface<false, false>(s, u, v, point, du, dv);
}

// True when points a and b of the surface coincide within tolerance, weights included.
bool SamePole(const TBSplineSurface& s, size_t a, size_t b, double tolerance)
{
    if (!(Length(s.Points[a] - s.Points[b]) <= tolerance)) return false;
    if (s.Weights.empty()) return true;
    return std::fabs(s.Weights[a] - s.Weights[b]) <= 1e-9 * std::fmax(s.Weights[a], s.Weights[b]);
}

// Inversion search limits: grid samples per direction, samples per knot span, Newton starts and step halvings.
constexpr int kCurveGridMax = 257;
constexpr int kSurfaceGridMax = 257;      // samples along one direction of a surface
constexpr int kSurfaceGridBudget = 4096;  // samples over the whole surface
constexpr int kGridPerSpan = 16;
constexpr int kNewtonStarts = 3;
constexpr int kStepHalvings = 5;

// Non-empty knot spans of the domain.
size_t SpanCount(const std::vector<double>& knots, int degree, size_t count)
{
    size_t spans = 0;
    for (size_t i = static_cast<size_t>(degree); i < count; ++i)
        spans += knots[i] < knots[i + 1] ? 1 : 0;
    return spans;
}

// Samples along u and v for a surface grid search: as many per knot span as
// the budget allows, the budget shared by the two directions.
void SurfaceGridSize(const TBSplineSurface& s, int& nu, int& nv)
{
    auto want = [](size_t spans) {
        return static_cast<int>(std::min<size_t>(kSurfaceGridMax, kGridPerSpan * std::max<size_t>(spans, 1) + 1));
    };
    nu = want(SpanCount(s.KnotsU, s.DegreeU, static_cast<size_t>(s.CountU)));
    nv = want(SpanCount(s.KnotsV, s.DegreeV, static_cast<size_t>(s.CountV)));
    for (int round = 0; round < 4 && nu * nv > kSurfaceGridBudget; ++round) {
        if (nu >= nv)
            nu = std::max(9, kSurfaceGridBudget / nv);
        else
            nv = std::max(9, kSurfaceGridBudget / nu);
    }
}

// Fills out[0 .. n) with sample parameters over the domain, up to kGridPerSpan per knot span; returns n.
int GridParams(const std::vector<double>& knots, int degree, size_t count, int maxSamples, double* out)
{
    const double lo = knots[degree], hi = knots[count];
    size_t spans = 0;
    for (size_t i = static_cast<size_t>(degree); i < count; ++i)
        spans += knots[i] < knots[i + 1] ? 1 : 0;
    if (spans == 0 || spans * 2 + 1 > static_cast<size_t>(maxSamples)) {
        for (int k = 0; k < maxSamples; ++k)
            out[k] = lo + (hi - lo) * k / (maxSamples - 1);
        return maxSamples;
    }
    const int per = static_cast<int>(std::min<size_t>(kGridPerSpan, (maxSamples - 1) / spans));
    int n = 0;
    for (size_t i = static_cast<size_t>(degree); i < count; ++i) {
        if (!(knots[i] < knots[i + 1])) continue;
        for (int k = 0; k < per; ++k)
            out[n++] = knots[i] + (knots[i + 1] - knots[i]) * k / per;
    }
    out[n++] = hi;
    return n;
}

// The few best samples of a grid search, nearest first.
struct TCandidates {
    int Count = 0;
    double Dist[kNewtonStarts];
    double U[kNewtonStarts], V[kNewtonStarts];

    // Keeps (u, v) when it is among the kNewtonStarts nearest so far.
    void Offer(double dist, double u, double v)
    {
        if (std::isnan(dist)) return;
        int k;
        if (Count < kNewtonStarts)
            k = Count++;
        else if (dist < Dist[kNewtonStarts - 1])
            k = kNewtonStarts - 1;
        else
            return;
        for (; k > 0 && dist < Dist[k - 1]; --k)
            Dist[k] = Dist[k - 1], U[k] = U[k - 1], V[k] = V[k - 1];
        Dist[k] = dist, U[k] = u, V[k] = v;
    }
};

// Value limited to [lo, hi]; NaN gives lo.
double Clamp(double x, double lo, double hi)
{
    return !(x > lo) ? lo : (x > hi ? hi : x);
}

// Gauss-Newton steps on |C(t) - p| from t, halving steps that do not get nearer; returns the distance reached.
double NewtonCurve(const TBSplineCurve& c, const TVec3& p, double lo, double hi, double tolerance, double& t)
{
    TVec3 pt, d;
    t = Clamp(t, lo, hi);
    CurvePointAndDerivative(c, t, pt, d);
    double dist = Length(pt - p);
    for (int it = 0; it < kInversionNewtonSteps && dist > 0.0; ++it) {
        const double den = Dot(d, d);
        if (!(den > 0.0)) break;
        double step = -Dot(pt - p, d) / den;
        bool accepted = false;
        TVec3 npt, nd;
        double nt = t, ndist = dist;
        for (int h = 0; h <= kStepHalvings && std::isfinite(step); ++h, step *= 0.5) {
            nt = Clamp(t + step, lo, hi);
            CurvePointAndDerivative(c, nt, npt, nd);
            ndist = Length(npt - p);
            if ((accepted = ndist < dist)) break;
        }
        if (!accepted) break;
        const double moved = Length(npt - pt);
        t = nt, pt = npt, d = nd, dist = ndist;
        if (moved <= 1e-3 * tolerance) break;
    }
    return dist;
}

// Gauss-Newton steps on |S(u, v) - p| from (u, v), as NewtonCurve; returns the distance reached.
double NewtonSurface(const TBSplineSurface& s, const TVec3& p, const double dom[4], double tolerance, double& u,
                     double& v)
{
    TVec3 pt, su, sv;
    u = Clamp(u, dom[0], dom[1]);
    v = Clamp(v, dom[2], dom[3]);
    SurfaceDerivatives(s, u, v, pt, su, sv);
    double dist = Length(pt - p);
    for (int it = 0; it < kInversionNewtonSteps && dist > 0.0; ++it) {
        // Normal equations of the linearised residual; each direction alone where they are singular (poles).
        const TVec3 r = pt - p;
        const double a = Dot(su, su), b = Dot(su, sv), c = Dot(sv, sv), gu = -Dot(r, su), gv = -Dot(r, sv);
        const double det = a * c - b * b;
        double stepU, stepV;
        if (det > 1e-12 * a * c) {
            stepU = (c * gu - b * gv) / det;
            stepV = (a * gv - b * gu) / det;
        } else {
            stepU = a > 0.0 ? gu / a : 0.0;
            stepV = c > 0.0 ? gv / c : 0.0;
        }
        bool accepted = false;
        TVec3 npt, nsu, nsv;
        double nu = u, nv = v, ndist = dist;
        for (int h = 0; h <= kStepHalvings && std::isfinite(stepU) && std::isfinite(stepV); ++h) {
            nu = Clamp(u + stepU, dom[0], dom[1]);
            nv = Clamp(v + stepV, dom[2], dom[3]);
            SurfaceDerivatives(s, nu, nv, npt, nsu, nsv);
            ndist = Length(npt - p);
            if ((accepted = ndist < dist)) break;
            stepU *= 0.5, stepV *= 0.5;
        }
        if (!accepted) break;
        const double moved = Length(npt - pt);
        u = nu, v = nv, pt = npt, su = nsu, sv = nsv, dist = ndist;
        if (moved <= 1e-3 * tolerance) break;
    }
    return dist;
}

// Tolerance and target usable for an inversion.
bool InversionInputOk(const TVec3& p, double tolerance)
{
    return IsFinite(p) && tolerance > 0.0 && std::isfinite(tolerance);
}

}  // namespace

bool Validate(TBSplineCurve& curve)
{
    if (curve.Degree < 1 || curve.Degree > kMaxBSplineDegree) return false;
    const size_t count = curve.Points.size();
    if (count < static_cast<size_t>(curve.Degree) + 1 || count > kMaxCurvePoints) return false;
    return ValidKnots(curve.Knots, curve.Degree, count) && ValidPoints(curve.Points) &&
           NormaliseWeights(curve.Weights, count);
}

double FirstParam(const TBSplineCurve& curve)
{
    return CurveShapeOk(curve) ? curve.Knots[curve.Degree] : kNaN;
}

double LastParam(const TBSplineCurve& curve)
{
    return CurveShapeOk(curve) ? curve.Knots[curve.Points.size()] : kNaN;
}

void CurvePointAndDerivative(const TBSplineCurve& curve, double t, TVec3& point, TVec3& derivative)
{
    if (!CurveShapeOk(curve)) {
        point = derivative = kNaNPoint;
        return;
    }
    const size_t count = curve.Points.size();
    const int p = curve.Degree;
    TBasis b;
    EvalBasis(curve.Knots, p, count, ClampParam(curve.Knots, p, count, t), b);
    const TVec3* cp = curve.Points.data() + (b.Span - p);
    TVec3 a = {0, 0, 0}, ad = {0, 0, 0};
    if (curve.Weights.empty()) {
        for (int k = 0; k <= p; ++k) {
            a = a + cp[k] * b.N[k];
            ad = ad + cp[k] * b.D[k];
        }
        point = a;
        derivative = ad;
        return;
    }
    // Rational: C = A / W and C' = (A' - W' C) / W.
    const double* w = curve.Weights.data() + (b.Span - p);
    double sw = 0.0, swd = 0.0;
    for (int k = 0; k <= p; ++k) {
        a = a + cp[k] * (b.N[k] * w[k]);
        ad = ad + cp[k] * (b.D[k] * w[k]);
        sw += b.N[k] * w[k];
        swd += b.D[k] * w[k];
    }
    if (!(sw != 0.0)) {
        point = derivative = kNaNPoint;
        return;
    }
    point = a * (1.0 / sw);
    derivative = (ad - point * swd) * (1.0 / sw);
}

TVec3 CurvePoint(const TBSplineCurve& curve, double t)
{
    TVec3 p, d;
    CurvePointAndDerivative(curve, t, p, d);
    return p;
}

TVec3 CurveDerivative(const TBSplineCurve& curve, double t)
{
    TVec3 p, d;
    CurvePointAndDerivative(curve, t, p, d);
    return d;
}

bool CurveClosed(const TBSplineCurve& curve, double tolerance)
{
    if (curve.Points.size() < 2) return false;
    return Length(curve.Points.front() - curve.Points.back()) <= tolerance;
}

bool ExpandKnots(const std::vector<int>& multiplicities, const std::vector<double>& knots, std::vector<double>& out,
                 size_t cap)
{
    out.clear();
    if (knots.empty() || multiplicities.size() != knots.size()) return false;
    uint64_t total = 0;
    for (size_t i = 0; i < knots.size(); ++i) {
        if (multiplicities[i] < 1 || !std::isfinite(knots[i])) return false;
        if (i > 0 && knots[i] < knots[i - 1]) return false;
        total += static_cast<uint64_t>(multiplicities[i]);
        if (total > cap) return false;
    }
    out.reserve(static_cast<size_t>(total));
    for (size_t i = 0; i < knots.size(); ++i)
        out.insert(out.end(), static_cast<size_t>(multiplicities[i]), knots[i]);
    return true;
}

std::vector<double> MakeBezierKnots(int degree)
{
    if (degree < 1 || degree > kMaxBSplineDegree) return {};
    std::vector<double> knots(static_cast<size_t>(2 * degree + 2), 0.0);
    for (int i = degree + 1; i < 2 * degree + 2; ++i)
        knots[i] = 1.0;
    return knots;
}

bool Validate(TBSplineSurface& surface)
{
    TBSplineSurface& s = surface;
    if (s.DegreeU < 1 || s.DegreeU > kMaxBSplineDegree || s.DegreeV < 1 || s.DegreeV > kMaxBSplineDegree) return false;
    if (s.CountU < s.DegreeU + 1 || s.CountV < s.DegreeV + 1) return false;
    const uint64_t total = static_cast<uint64_t>(s.CountU) * static_cast<uint64_t>(s.CountV);
    if (total > kMaxSurfacePoints || total != s.Points.size()) return false;
    return ValidKnots(s.KnotsU, s.DegreeU, static_cast<size_t>(s.CountU)) &&
           ValidKnots(s.KnotsV, s.DegreeV, static_cast<size_t>(s.CountV)) && ValidPoints(s.Points) &&
           NormaliseWeights(s.Weights, s.Points.size());
}

bool SurfaceDomain(const TBSplineSurface& surface, double& u0, double& u1, double& v0, double& v1)
{
    if (!SurfaceShapeOk(surface)) {
        u0 = u1 = v0 = v1 = kNaN;
        return false;
    }
    u0 = surface.KnotsU[surface.DegreeU];
    u1 = surface.KnotsU[surface.CountU];
    v0 = surface.KnotsV[surface.DegreeV];
    v1 = surface.KnotsV[surface.CountV];
    return true;
}

TVec3 SurfacePoint(const TBSplineSurface& surface, double u, double v)
{
    TVec3 p, du, dv;
    EvalSurfaceAny(surface, u, v, false, p, du, dv);
    return p;
}

void SurfaceDerivatives(const TBSplineSurface& surface, double u, double v, TVec3& point, TVec3& du, TVec3& dv)
{
    EvalSurfaceAny(surface, u, v, true, point, du, dv);
}

bool SurfaceClosedU(const TBSplineSurface& surface, double tolerance)
{
    if (!SurfaceShapeOk(surface)) return false;
    const size_t cv = static_cast<size_t>(surface.CountV), last = (static_cast<size_t>(surface.CountU) - 1) * cv;
    for (size_t j = 0; j < cv; ++j)
        if (!SamePole(surface, j, last + j, tolerance)) return false;
    return true;
}

bool SurfaceClosedV(const TBSplineSurface& surface, double tolerance)
{
    if (!SurfaceShapeOk(surface)) return false;
    const size_t cu = static_cast<size_t>(surface.CountU), cv = static_cast<size_t>(surface.CountV);
    for (size_t i = 0; i < cu; ++i)
        if (!SamePole(surface, i * cv, i * cv + cv - 1, tolerance)) return false;
    return true;
}

bool InvertCurvePoint(const TBSplineCurve& curve, const TVec3& p, double& t, double tolerance)
{
    t = kNaN;
    if (!CurveShapeOk(curve) || !InversionInputOk(p, tolerance)) return false;
    const size_t count = curve.Points.size();
    double grid[kCurveGridMax];
    const int n = GridParams(curve.Knots, curve.Degree, count, kCurveGridMax, grid);
    TCandidates best;
    for (int k = 0; k < n; ++k)
        best.Offer(Length(CurvePoint(curve, grid[k]) - p), grid[k], 0.0);
    const double lo = FirstParam(curve), hi = LastParam(curve);
    double bestDist = kNaN;
    for (int k = 0; k < best.Count; ++k) {
        double tk = best.U[k];
        const double dist = NewtonCurve(curve, p, lo, hi, tolerance, tk);
        if (k == 0 || dist < bestDist) bestDist = dist, t = tk;
        if (bestDist <= kInversionSlack * tolerance) return true;
    }
    return false;
}

bool InvertCurvePointNear(const TBSplineCurve& curve, const TVec3& p, double tHint, double& t, double tolerance)
{
    t = kNaN;
    if (!CurveShapeOk(curve) || !InversionInputOk(p, tolerance)) return false;
    double th = std::isfinite(tHint) ? tHint : FirstParam(curve);
    const double dist = NewtonCurve(curve, p, FirstParam(curve), LastParam(curve), tolerance, th);
    if (dist <= kInversionSlack * tolerance) {
        t = th;
        return true;
    }
    if (InvertCurvePoint(curve, p, t, tolerance)) return true;
    if (!(Length(CurvePoint(curve, t) - p) <= dist)) t = th;
    return false;
}

bool InvertSurfacePoint(const TBSplineSurface& surface, const TVec3& p, double& u, double& v, double tolerance)
{
    u = v = kNaN;
    double dom[4];
    if (!SurfaceDomain(surface, dom[0], dom[1], dom[2], dom[3]) || !InversionInputOk(p, tolerance)) return false;
    double gu[kSurfaceGridMax], gv[kSurfaceGridMax];
    int maxU, maxV;
    SurfaceGridSize(surface, maxU, maxV);
    const int nu = GridParams(surface.KnotsU, surface.DegreeU, static_cast<size_t>(surface.CountU), maxU, gu);
    const int nv = GridParams(surface.KnotsV, surface.DegreeV, static_cast<size_t>(surface.CountV), maxV, gv);
    TCandidates best;
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j)
            best.Offer(Length(SurfacePoint(surface, gu[i], gv[j]) - p), gu[i], gv[j]);
    double bestDist = kNaN;
    for (int k = 0; k < best.Count; ++k) {
        double uk = best.U[k], vk = best.V[k];
        const double dist = NewtonSurface(surface, p, dom, tolerance, uk, vk);
        if (k == 0 || dist < bestDist) bestDist = dist, u = uk, v = vk;
        if (bestDist <= kInversionSlack * tolerance) return true;
    }
    return false;
}

bool InvertSurfacePointNear(const TBSplineSurface& surface, const TVec3& p, double uHint, double vHint, double& u,
                            double& v, double tolerance)
{
    u = v = kNaN;
    double dom[4];
    if (!SurfaceDomain(surface, dom[0], dom[1], dom[2], dom[3]) || !InversionInputOk(p, tolerance)) return false;
    double uh = std::isfinite(uHint) ? uHint : dom[0], vh = std::isfinite(vHint) ? vHint : dom[2];
    const double dist = NewtonSurface(surface, p, dom, tolerance, uh, vh);
    if (dist <= kInversionSlack * tolerance) {
        u = uh, v = vh;
        return true;
    }
    if (InvertSurfacePoint(surface, p, u, v, tolerance)) return true;
    if (!(Length(SurfacePoint(surface, u, v) - p) <= dist)) u = uh, v = vh;
    return false;
}

}  // namespace voxaro
