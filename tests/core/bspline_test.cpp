// B-spline curves and surfaces: evaluation invariants, inversion and hostile data.
#include "geom/bspline.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace voxaro {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kH = std::sqrt(0.5);

// Deterministic numbers in [-1, 1] for control points and weights.
struct TSequence {
    uint32_t State = 12345;
    double Next() { return (State = State * 1664525u + 1013904223u) / 2147483648.0 - 1.0; }
    TVec3 NextPoint() { return {Next(), Next(), Next()}; }
};

double Distance(const TVec3& a, const TVec3& b)
{
    return Length(a - b);
}

// Quadratic NURBS circle of radius r about the z axis: four quarter arcs.
TBSplineCurve Circle(double r)
{
    return {2,
            {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1},
            {{r, 0, 0}, {r, r, 0}, {0, r, 0}, {-r, r, 0}, {-r, 0, 0}, {-r, -r, 0}, {0, -r, 0}, {r, -r, 0}, {r, 0, 0}},
            {1, kH, 1, kH, 1, kH, 1, kH, 1}};
}

// Uneven cubic with a double interior knot; weights from the sequence when rational.
TBSplineCurve WavyCurve(bool rational)
{
    TSequence seq;
    TBSplineCurve c{3, {0, 0, 0, 0, 0.1, 0.35, 0.35, 0.8, 1, 1, 1, 1}, {}, {}};
    for (int i = 0; i < 8; ++i) {
        c.Points.push_back(TVec3{double(i), 0, 0} + seq.NextPoint() * 0.3);
        if (rational) c.Weights.push_back(1.2 + 0.5 * seq.Next());
    }
    return c;
}

// Sphere of radius r: the circle swept by a semicircle from pole to pole; the circle along v when asked.
TBSplineSurface Sphere(double r, bool circleAlongV = false)
{
    const TBSplineCurve circle = Circle(1.0);
    const TVec3 profile[5] = {{0, 0, -r}, {r, 0, -r}, {r, 0, 0}, {r, 0, r}, {0, 0, r}};
    const double profileWeights[5] = {1, kH, 1, kH, 1};
    const std::vector<double> profileKnots = {0, 0, 0, 0.5, 0.5, 1, 1, 1};
    TBSplineSurface s{2, 2, circle.Knots, profileKnots, 9, 5, std::vector<TVec3>(45), std::vector<double>(45)};
    if (circleAlongV) std::swap(s.KnotsU, s.KnotsV), std::swap(s.CountU, s.CountV);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 5; ++j) {
            const TVec3& c = circle.Points[i];
            const int k = circleAlongV ? j * 9 + i : i * 5 + j;
            s.Points[k] = {c.X * profile[j].X, c.Y * profile[j].X, profile[j].Z};
            s.Weights[k] = circle.Weights[i] * profileWeights[j];
        }
    return s;
}

// Uneven cubic-by-quadratic patch over an 8 x 6 grid with bumps from the sequence.
TBSplineSurface WavyPatch(bool rational)
{
    TSequence seq;
    TBSplineSurface s{3, 2, WavyCurve(false).Knots, {0, 0, 0, 0.3, 0.6, 0.6, 1, 1, 1}, 8, 6, {}, {}};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 6; ++j) {
            s.Points.push_back({i + 0.3 * seq.Next(), j + 0.3 * seq.Next(), seq.Next()});
            if (rational) s.Weights.push_back(1.2 + 0.5 * seq.Next());
        }
    return s;
}

// Bezier point by de Casteljau's repeated interpolation, independent of the basis functions.
TVec3 DeCasteljau(std::vector<TVec3> p, double t)
{
    for (size_t n = p.size(); n > 1; --n)
        for (size_t i = 0; i + 1 < n; ++i)
            p[i] = p[i] * (1 - t) + p[i + 1] * t;
    return p[0];
}

TEST(BSplineCurve, RationalCircleStaysOnRadius)
{
    TBSplineCurve c = Circle(2.5);
    ASSERT_TRUE(Validate(c));
    for (int i = 0; i <= 400; ++i) {
        TVec3 p, d;
        CurvePointAndDerivative(c, i / 400.0, p, d);
        EXPECT_NEAR(Length(p), 2.5, 1e-12);
        // The tangent is perpendicular to the radius and turns counter-clockwise.
        EXPECT_NEAR(Dot(p, d) / Length(d), 0.0, 1e-10);
        EXPECT_GT(Cross(p, d).Z, 0.0);
    }
}

TEST(BSplineCurve, DerivativeMatchesFiniteDifference)
{
    const double h = 1e-6;
    for (bool rational : {false, true}) {
        TBSplineCurve c = WavyCurve(rational);
        ASSERT_TRUE(Validate(c));
        for (double t : {0.03, 0.2, 0.34, 0.36, 0.5, 0.79, 0.95}) {
            const TVec3 fd = (CurvePoint(c, t + h) - CurvePoint(c, t - h)) * (0.5 / h);
            EXPECT_LT(Distance(CurveDerivative(c, t), fd), 1e-6 * (1 + Length(fd))) << rational << " " << t;
        }
    }
}

TEST(BSplineCurve, BezierEqualsItsBSplineForm)
{
    TSequence seq;
    for (int degree : {1, 2, 3, 9, kMaxBSplineDegree}) {
        TBSplineCurve c{degree, MakeBezierKnots(degree), {}, {}};
        for (int i = 0; i <= degree; ++i)
            c.Points.push_back(seq.NextPoint());
        ASSERT_TRUE(Validate(c)) << degree;
        for (double t : {0.0, 0.1, 0.5, 0.77, 1.0})
            EXPECT_LT(Distance(CurvePoint(c, t), DeCasteljau(c.Points, t)), 1e-12) << degree << " " << t;
    }
    EXPECT_TRUE(MakeBezierKnots(0).empty());
    EXPECT_TRUE(MakeBezierKnots(kMaxBSplineDegree + 1).empty());
}

TEST(BSplineCurve, DomainEndsAndClamping)
{
    TBSplineCurve c = Circle(1.0);
    c.Knots = {2, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 6};
    ASSERT_TRUE(Validate(c));
    EXPECT_EQ(FirstParam(c), 2.0);
    EXPECT_EQ(LastParam(c), 6.0);
    for (double t : {-1e300, 1.999, -kInf, kNaN})
        EXPECT_LT(Distance(CurvePoint(c, t), c.Points.front()), 1e-15) << t;
    for (double t : {6.0, 1e300, kInf})
        EXPECT_LT(Distance(CurvePoint(c, t), c.Points.back()), 1e-15) << t;
    // Unclamped end: the last domain knot also sits below index count, so the span
    // found at the end must step back to one of non-zero length.
    TBSplineCurve u{2, {0, 0, 0, 0.5, 1, 1, 1, 2}, WavyCurve(false).Points, {}};
    u.Points.resize(5);
    ASSERT_TRUE(Validate(u));
    ASSERT_EQ(LastParam(u), 1.0);
    EXPECT_LT(Distance(CurvePoint(u, 1.0), CurvePoint(u, 1.0 - 1e-9)), 1e-7);
}

TEST(BSplineKnots, ExpandCompactForm)
{
    std::vector<double> out;
    ASSERT_TRUE(ExpandKnots({3, 1, 2, 3}, {0.0, 0.5, 0.7, 1.0}, out, 100));
    EXPECT_EQ(out, (std::vector<double>{0, 0, 0, 0.5, 0.7, 0.7, 1, 1, 1}));
    EXPECT_FALSE(ExpandKnots({3, 1, 2, 3}, {0.0, 0.5, 0.7, 1.0}, out, 8));  // one over the cap
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ExpandKnots({}, {}, out, 100));
    EXPECT_FALSE(ExpandKnots({2, 2}, {0.0}, out, 100));
    EXPECT_FALSE(ExpandKnots({2, 0, 2}, {0.0, 0.5, 1.0}, out, 100));
    EXPECT_FALSE(ExpandKnots({2, -5, 2}, {0.0, 0.5, 1.0}, out, 100));
    EXPECT_FALSE(ExpandKnots({2, 2}, {1.0, 0.0}, out, 100));
    EXPECT_FALSE(ExpandKnots({2, 2}, {0.0, kNaN}, out, 100));
    EXPECT_FALSE(ExpandKnots({INT_MAX, INT_MAX, INT_MAX}, {0.0, 1.0, 2.0}, out, 1000000));
}

TEST(BSplineCurve, HostileDataIsRefusedAndSafe)
{
    const std::vector<double> k = {0, 0, 0, 0.5, 1, 1, 1};
    const std::vector<TVec3> p = {{0, 0, 0}, {1, 1, 0}, {2, -1, 0}, {3, 0, 0}};
    std::vector<TBSplineCurve> bad(19, TBSplineCurve{2, k, p, {}});
    bad[0].Degree = 0, bad[1].Degree = 100, bad[2].Degree = INT_MAX, bad[3].Knots.pop_back();
    bad[4].Knots = {0, 0, 0, 0.7, 0.2, 1, 1}, bad[5].Knots = {1, 1, 1, 0.5, 0, 0, 0};
    bad[6].Knots.assign(7, 0.5), bad[7].Knots = {0, 0, 0, 0, 1, 1, 1}, bad[8].Knots[3] = kNaN;  // 7: four times
    bad[9].Points[1].X = kNaN, bad[10].Points[2].Y = -kInf, bad[11].Points[3].Z = 1e300;
    bad[12].Weights = {1, 0, 1, 1}, bad[13].Weights = {1, -1, 1, 1}, bad[14].Weights = {1, kNaN, 1, 1};
    bad[15].Weights = {0, 0, 0, 0}, bad[16].Weights = {1, 1, 1}, bad[17].Points.resize(2), bad[18] = TBSplineCurve();
    for (size_t i = 0; i < bad.size(); ++i) {
        TBSplineCurve c = bad[i];
        EXPECT_FALSE(Validate(c)) << "variant " << i;
        // Every entry point still runs on it; under ASan a bad read fails here.
        double t;
        for (double s : {-1.0, 0.3, 1.0, kNaN})
            (void)CurvePoint(c, s), (void)CurveDerivative(c, s), (void)CurveClosed(c, 1e-6);
        (void)InvertCurvePointNear(c, {1, 0, 0}, 0.5, t, 1e-6);
    }
    // Sizes that do not fit, or weights summing to zero, give a point the caller can see is bad.
    EXPECT_FALSE(IsFinite(CurvePoint(bad[3], 0.5)));
    EXPECT_FALSE(IsFinite(CurvePoint(bad[15], 0.5)));
    EXPECT_FALSE(IsFinite(CurvePoint(bad[16], 0.5)));
    EXPECT_TRUE(std::isnan(FirstParam(bad[3])));
    // Equal weights are no weights.
    TBSplineCurve equal{2, k, p, {3, 3, 3, 3}};
    ASSERT_TRUE(Validate(equal));
    EXPECT_TRUE(equal.Weights.empty());
}

TEST(BSplineCurve, PointCountCap)
{
    TBSplineCurve c{1, std::vector<double>(kMaxCurvePoints + 3), std::vector<TVec3>(kMaxCurvePoints + 1), {}};
    for (size_t i = 0; i < c.Knots.size(); ++i)
        c.Knots[i] = double(i);
    EXPECT_FALSE(Validate(c));
    c.Points.pop_back(), c.Knots.pop_back();
    EXPECT_TRUE(Validate(c));
}

TEST(BSplineSurface, LinearPrecisionOnUnevenKnots)
{
    // Points at the Greville abscissae in both directions give S(u, v) = (u, v, 5).
    TBSplineSurface s = WavyPatch(false);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 6; ++j)
            s.Points[i * 6 + j] = {(s.KnotsU[i + 1] + s.KnotsU[i + 2] + s.KnotsU[i + 3]) / 3,
                                   (s.KnotsV[j + 1] + s.KnotsV[j + 2]) / 2, 5};
    ASSERT_TRUE(Validate(s));
    for (double u : {0.0, 0.1, 0.2, 0.35, 0.9, 1.0})
        for (double v : {0.0, 0.3, 0.45, 0.6, 1.0}) {
            TVec3 p, du, dv;
            SurfaceDerivatives(s, u, v, p, du, dv);
            EXPECT_LT(Distance(p, {u, v, 5}), 1e-13);
            EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-15);
            EXPECT_LT(Distance(du, {1, 0, 0}) + Distance(dv, {0, 1, 0}), 1e-11);
        }
}

TEST(BSplineSurface, RationalSphereStaysOnRadiusAndIsClosedAlongTheCircle)
{
    for (bool circleAlongV : {false, true}) {
        TBSplineSurface s = Sphere(3.0, circleAlongV);
        ASSERT_TRUE(Validate(s));
        for (int i = 0; i <= 40; ++i)
            for (int j = 0; j <= 40; ++j) {
                TVec3 p, du, dv;
                SurfaceDerivatives(s, i / 40.0, j / 40.0, p, du, dv);
                EXPECT_NEAR(Length(p), 3.0, 1e-12);
                EXPECT_NEAR(Dot(p, du), 0.0, 1e-10);  // tangents are perpendicular to the radius
                EXPECT_NEAR(Dot(p, dv), 0.0, 1e-10);
            }
        EXPECT_EQ(SurfaceClosedU(s, 1e-9), !circleAlongV);
        EXPECT_EQ(SurfaceClosedV(s, 1e-9), circleAlongV);
        double u0, u1, v0, v1;
        ASSERT_TRUE(SurfaceDomain(s, u0, u1, v0, v1));
        EXPECT_TRUE(u0 == 0 && u1 == 1 && v0 == 0 && v1 == 1);
    }
}

TEST(BSplineSurface, DerivativesMatchFiniteDifferencesAndInversionFindsTheParameters)
{
    const double h = 1e-6;
    for (bool rational : {false, true}) {
        TBSplineSurface s = WavyPatch(rational);
        ASSERT_TRUE(Validate(s));
        for (double u0 : {0.0, 0.05, 0.34, 0.36, 0.7, 1.0})
            for (double v0 : {0.0, 0.1, 0.59, 0.61, 0.95, 1.0}) {
                TVec3 p, du, dv;
                SurfaceDerivatives(s, u0, v0, p, du, dv);
                const TVec3 fu = (SurfacePoint(s, u0 + h, v0) - SurfacePoint(s, u0 - h, v0)) * (0.5 / h);
                const TVec3 fv = (SurfacePoint(s, u0, v0 + h) - SurfacePoint(s, u0, v0 - h)) * (0.5 / h);
                EXPECT_TRUE(u0 == 0 || u0 == 1 || Distance(du, fu) < 1e-6 * (1 + Length(fu))) << u0 << " " << v0;
                EXPECT_TRUE(v0 == 0 || v0 == 1 || Distance(dv, fv) < 1e-6 * (1 + Length(fv))) << u0 << " " << v0;
                double u, v;
                ASSERT_TRUE(InvertSurfacePoint(s, p, u, v, 1e-9)) << u0 << " " << v0;
                EXPECT_TRUE(std::fabs(u - u0) < 1e-7 && std::fabs(v - v0) < 1e-7) << u0 << " " << v0;
                ASSERT_TRUE(InvertSurfacePointNear(s, p, u0 + 0.01, v0 - 0.01, u, v, 1e-9));
                EXPECT_TRUE(std::fabs(u - u0) < 1e-7 && std::fabs(v - v0) < 1e-7) << u0 << " " << v0;
            }
    }
}

TEST(BSplineSurface, HostileDataIsRefusedAndSafe)
{
    std::vector<TBSplineSurface> bad(13, WavyPatch(true));
    bad[0].DegreeU = 0, bad[1].DegreeV = 100, bad[2].CountV = -6, bad[3].CountU = bad[3].CountV = INT_MAX;
    bad[4].CountU = 6, bad[4].CountV = 8;  // same product, the knot vectors no longer fit
    bad[5].KnotsV.pop_back(), bad[6].KnotsU[4] = kNaN, bad[7].Points[20].Z = 1e300, bad[8].Points.pop_back();
    bad[9].Weights[3] = -2, bad[10].Weights.assign(48, 0.0), bad[11].Weights.pop_back();
    bad[12] = TBSplineSurface();
    for (size_t i = 0; i < bad.size(); ++i) {
        TBSplineSurface s = bad[i];
        EXPECT_FALSE(Validate(s)) << "variant " << i;
        double u, v;
        for (double a : {-1.0, 0.4, 1.0, kNaN}) {
            TVec3 p, du, dv;
            SurfaceDerivatives(s, a, 1 - a, p, du, dv);
            (void)SurfacePoint(s, a, a), (void)SurfaceClosedU(s, 1e-6), (void)SurfaceClosedV(s, 1e-6);
        }
        (void)InvertSurfacePointNear(s, {1, 1, 0}, 0.5, 0.5, u, v, 1e-6);
    }
    EXPECT_FALSE(IsFinite(SurfacePoint(bad[3], 0.5, 0.5)));
    EXPECT_FALSE(IsFinite(SurfacePoint(bad[8], 0.5, 0.5)));
    EXPECT_FALSE(IsFinite(SurfacePoint(bad[10], 0.5, 0.5)));
}

TEST(BSplineInversion, CurveReturnsTheSampledParameter)
{
    TBSplineCurve c = Circle(2.0);
    ASSERT_TRUE(Validate(c));
    double t;
    for (int i = 1; i < 50; ++i) {
        const double t0 = i / 50.0;
        ASSERT_TRUE(InvertCurvePoint(c, CurvePoint(c, t0), t, 1e-9)) << t0;
        EXPECT_NEAR(t, t0, 1e-9);
        ASSERT_TRUE(InvertCurvePointNear(c, CurvePoint(c, t0), 1 - t0, t, 1e-9)) << t0;  // a wrong hint recovers
        EXPECT_NEAR(t, t0, 1e-9);
        // Off the curve in its plane: the foot has the same parameter, accepted only with a loose tolerance.
        EXPECT_FALSE(InvertCurvePoint(c, CurvePoint(c, t0) * 1.5, t, 1e-9));
        EXPECT_NEAR(t, t0, 1e-7);
        EXPECT_TRUE(InvertCurvePoint(c, CurvePoint(c, t0) * 1.5, t, 0.2));
        EXPECT_LT(Distance(CurvePoint(c, t), CurvePoint(c, t0)), 0.2 * 1e-2);
    }
    // The ends of an open curve, as for an edge's vertices, and a point beyond the end.
    TBSplineCurve open = WavyCurve(true);
    ASSERT_TRUE(Validate(open));
    ASSERT_TRUE(InvertCurvePoint(open, open.Points.front(), t, 1e-9));
    EXPECT_NEAR(t, 0.0, 1e-9);
    ASSERT_TRUE(InvertCurvePointNear(open, open.Points.back(), kNaN, t, 1e-9));
    EXPECT_NEAR(t, 1.0, 1e-9);
    EXPECT_FALSE(InvertCurvePoint(open, open.Points.back() + TVec3{5, 0, 0}, t, 1e-6));
    EXPECT_NEAR(t, 1.0, 1e-9);
}

TEST(BSplineInversion, NearestSampleOnTheWrongBranch)
{
    // A thin hairpin: the sample nearest to p lies on the return branch, 0.01 away,
    // so Newton from it stalls there and a later start must find p itself.
    TBSplineCurve c{1, {0, 0, 1, 2, 3, 3}, {{0, 0, 0}, {10, 0, 0}, {10, 0.01, 0}, {-0.3, 0.01, 0}}, {}};
    ASSERT_TRUE(Validate(c));
    double t;
    ASSERT_TRUE(InvertCurvePoint(c, {0.3, 0, 0}, t, 1e-6));
    EXPECT_NEAR(t, 0.03, 1e-9);
}

TEST(BSplineInversion, SphereFootPointsPolesAndFarHints)
{
    TBSplineSurface s = Sphere(3.0);
    ASSERT_TRUE(Validate(s));
    double u, v;
    for (double u0 : {0.1, 0.3, 0.55, 0.9})
        for (double v0 : {0.1, 0.4, 0.5, 0.85}) {
            const TVec3 p = SurfacePoint(s, u0, v0);
            // Off the surface along the radius: the foot is the sampled point.
            EXPECT_FALSE(InvertSurfacePoint(s, p * (3.5 / 3.0), u, v, 1e-6));
            EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-6);
            // A hint on the far side of the sphere falls back to the search.
            ASSERT_TRUE(InvertSurfacePointNear(s, p, u0 + 0.5, 1 - v0, u, v, 1e-9));
            EXPECT_TRUE(std::fabs(u - u0) < 1e-7 && std::fabs(v - v0) < 1e-7) << u0 << " " << v0;
        }
    // Poles, where the u derivative vanishes, and points on the seam u = 0 = 1.
    for (const TVec3& p : {TVec3{0, 0, 3}, TVec3{0, 0, -3}, TVec3{3, 0, 0}, TVec3{2.4, 0, 1.8}}) {
        ASSERT_TRUE(InvertSurfacePoint(s, p, u, v, 1e-9));
        EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-8);
        ASSERT_TRUE(InvertSurfacePointNear(s, p, 0.5, 1.0, u, v, 1e-9));
        EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-8);
    }
}

TEST(BSplineInversion, UnusableTargetsAndTolerances)
{
    TBSplineSurface s = Sphere(1.0);
    TBSplineCurve c = Circle(1.0);
    ASSERT_TRUE(Validate(s) && Validate(c));
    double u, v, t;
    for (const TVec3& p : {TVec3{kNaN, 0, 0}, TVec3{0, kInf, 0}})
        EXPECT_FALSE(InvertSurfacePointNear(s, p, 0, 0.5, u, v, 1e-6) || InvertCurvePointNear(c, p, 0, t, 1e-6));
    for (double tolerance : {0.0, -1.0, kNaN, kInf})
        EXPECT_FALSE(InvertSurfacePoint(s, {1, 0, 0}, u, v, tolerance) || InvertCurvePoint(c, {1, 0, 0}, t, tolerance));
    // A far point gives false but parameters inside the domain.
    EXPECT_FALSE(InvertSurfacePoint(s, {1e9, 0, 0}, u, v, 1e-6));
    EXPECT_TRUE(u >= 0 && u <= 1 && v >= 0 && v <= 1);
}

}  // namespace
}  // namespace voxaro
