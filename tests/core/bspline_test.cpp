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

// Deterministic numbers in [-1, 1] for control points and weights.
struct TSequence {
    uint32_t State = 12345;
    double Next()
    {
        State = State * 1664525u + 1013904223u;
        return (State >> 8) / double(1 << 23) - 1.0;
    }
    TVec3 NextPoint() { return {Next(), Next(), Next()}; }
};

// Non-uniform clamped cubic with a double interior knot, 8 points.
std::vector<double> UnevenCubicKnots()
{
    return {0, 0, 0, 0, 0.1, 0.35, 0.35, 0.8, 1, 1, 1, 1};
}

// Quadratic NURBS circle of radius r in the XY plane: nine points, four quarter arcs.
TBSplineCurve Circle(double r)
{
    const double h = std::sqrt(0.5);
    TBSplineCurve c;
    c.Degree = 2;
    c.Knots = {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1};
    c.Points = {{r, 0, 0},   {r, r, 0},  {0, r, 0},  {-r, r, 0}, {-r, 0, 0},
                {-r, -r, 0}, {0, -r, 0}, {r, -r, 0}, {r, 0, 0}};
    c.Weights = {1, h, 1, h, 1, h, 1, h, 1};
    return c;
}

// Bezier point by de Casteljau's repeated interpolation, independent of the basis functions.
TVec3 DeCasteljau(std::vector<TVec3> p, double t)
{
    for (size_t n = p.size(); n > 1; --n)
        for (size_t i = 0; i + 1 < n; ++i)
            p[i] = p[i] * (1 - t) + p[i + 1] * t;
    return p[0];
}

double Distance(const TVec3& a, const TVec3& b)
{
    return Length(a - b);
}

TEST(BSplineCurve, ConstantAndLinearPrecision)
{
    // Equal points give that point (partition of unity); points at the Greville
    // abscissae give C(t).X == t (linear precision), at every t including the knots.
    TBSplineCurve c;
    c.Degree = 3;
    c.Knots = UnevenCubicKnots();
    for (int i = 0; i < 8; ++i) {
        double x = 0;
        for (int k = 1; k <= 3; ++k)
            x += c.Knots[i + k] / 3;
        c.Points.push_back({x, 2.0, -1.0});
    }
    ASSERT_TRUE(Validate(c));
    for (int i = 0; i <= 200; ++i) {
        const double t = i / 200.0;
        const TVec3 p = CurvePoint(c, t);
        EXPECT_NEAR(p.X, t, 1e-13);
        EXPECT_NEAR(p.Y, 2.0, 1e-13);
        EXPECT_NEAR(p.Z, -1.0, 1e-13);
        const TVec3 d = CurveDerivative(c, t);
        EXPECT_NEAR(d.X, 1.0, 1e-11);
        EXPECT_NEAR(d.Y, 0.0, 1e-11);
    }
}

TEST(BSplineCurve, RationalCircleStaysOnRadius)
{
    TBSplineCurve c = Circle(2.5);
    ASSERT_TRUE(Validate(c));
    ASSERT_EQ(c.Weights.size(), 9u);
    for (int i = 0; i <= 400; ++i) {
        const double t = i / 400.0;
        TVec3 p, d;
        CurvePointAndDerivative(c, t, p, d);
        EXPECT_NEAR(Length(p), 2.5, 1e-12) << t;
        EXPECT_NEAR(p.Z, 0.0, 1e-15);
        // The tangent of a circle is perpendicular to its radius, and turns counter-clockwise.
        EXPECT_NEAR(Dot(p, d) / Length(d), 0.0, 1e-10) << t;
        EXPECT_GT(Cross(p, d).Z, 0.0);
    }
}

TEST(BSplineCurve, DerivativeMatchesFiniteDifference)
{
    TSequence seq;
    TBSplineCurve plain;
    plain.Degree = 3;
    plain.Knots = UnevenCubicKnots();
    for (int i = 0; i < 8; ++i)
        plain.Points.push_back(seq.NextPoint());
    TBSplineCurve rational = plain;
    for (int i = 0; i < 8; ++i)
        rational.Weights.push_back(1.2 + seq.Next());
    ASSERT_TRUE(Validate(plain));
    ASSERT_TRUE(Validate(rational));
    const double h = 1e-6;
    for (const TBSplineCurve* c : {&plain, &rational})
        for (double t : {0.03, 0.2, 0.34, 0.36, 0.5, 0.79, 0.95}) {
            const TVec3 fd = (CurvePoint(*c, t + h) - CurvePoint(*c, t - h)) * (0.5 / h);
            EXPECT_LT(Distance(CurveDerivative(*c, t), fd), 1e-6 * (1 + Length(fd))) << t;
        }
}

TEST(BSplineCurve, BezierEqualsItsBSplineForm)
{
    TSequence seq;
    for (int degree : {1, 2, 3, 5, 9, kMaxBSplineDegree}) {
        TBSplineCurve c;
        c.Degree = degree;
        c.Knots = MakeBezierKnots(degree);
        for (int i = 0; i <= degree; ++i)
            c.Points.push_back(seq.NextPoint());
        ASSERT_TRUE(Validate(c)) << degree;
        EXPECT_EQ(FirstParam(c), 0.0);
        EXPECT_EQ(LastParam(c), 1.0);
        for (double t : {0.0, 0.1, 0.5, 0.77, 1.0})
            EXPECT_LT(Distance(CurvePoint(c, t), DeCasteljau(c.Points, t)), 1e-12) << degree << " " << t;
    }
    EXPECT_TRUE(MakeBezierKnots(0).empty());
    EXPECT_TRUE(MakeBezierKnots(kMaxBSplineDegree + 1).empty());
}

TEST(BSplineCurve, ParametersOutsideTheDomainClamp)
{
    TBSplineCurve c = Circle(1.0);
    c.Knots = {2, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 6};
    ASSERT_TRUE(Validate(c));
    EXPECT_EQ(FirstParam(c), 2.0);
    EXPECT_EQ(LastParam(c), 6.0);
    const TVec3 start = c.Points.front();
    for (double t : {-1e300, 1.999, -kInf, kNaN})
        EXPECT_LT(Distance(CurvePoint(c, t), start), 1e-15) << t;
    for (double t : {6.0, 6.5, 1e300, kInf})
        EXPECT_LT(Distance(CurvePoint(c, t), c.Points.back()), 1e-15) << t;
}

TEST(BSplineCurve, DomainEndInsideARepeatedKnot)
{
    // Unclamped end: the last domain knot repeats below index count, so the span
    // found at the end must step back to one of non-zero length.
    TSequence seq;
    TBSplineCurve c;
    c.Degree = 2;
    c.Knots = {0, 0, 0, 0.5, 1, 1, 1, 2};
    for (int i = 0; i < 5; ++i)
        c.Points.push_back(seq.NextPoint());
    ASSERT_TRUE(Validate(c));
    ASSERT_EQ(LastParam(c), 1.0);
    const TVec3 end = CurvePoint(c, 1.0);
    EXPECT_LT(Distance(end, CurvePoint(c, 1.0 - 1e-9)), 1e-7);
    EXPECT_LT(Distance(end, c.Points[3]), 1e-12);  // a double knot interpolates at the end
}

TEST(BSplineCurve, EqualWeightsBecomeNonRational)
{
    TBSplineCurve c;
    c.Degree = 2;
    c.Knots = {0, 0, 0, 1, 1, 1};
    c.Points = {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}};
    c.Weights = {3, 3, 3};
    const TVec3 before = CurvePoint(c, 0.3);
    ASSERT_TRUE(Validate(c));
    EXPECT_TRUE(c.Weights.empty());
    EXPECT_LT(Distance(CurvePoint(c, 0.3), before), 1e-15);
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
    EXPECT_TRUE(out.empty());
}

// A valid clamped quadratic with four points, the base of the hostile variants.
TBSplineCurve SmallQuadratic()
{
    TBSplineCurve c;
    c.Degree = 2;
    c.Knots = {0, 0, 0, 0.5, 1, 1, 1};
    c.Points = {{0, 0, 0}, {1, 1, 0}, {2, -1, 0}, {3, 0, 0}};
    return c;
}

// Evaluates every entry point on a curve whatever its state; under ASan a bad read fails here.
void TouchCurve(const TBSplineCurve& c)
{
    for (double t : {-1.0, 0.0, 0.3, 0.5, 1.0, 2.0, kNaN}) {
        TVec3 p, d;
        CurvePointAndDerivative(c, t, p, d);
        (void)CurvePoint(c, t);
        (void)CurveDerivative(c, t);
    }
    (void)FirstParam(c);
    (void)LastParam(c);
    (void)CurveClosed(c, 1e-6);
    double t;
    (void)InvertCurvePoint(c, {1, 0, 0}, t, 1e-6);
    (void)InvertCurvePointNear(c, {1, 0, 0}, 0.5, t, 1e-6);
}

TEST(BSplineCurve, HostileDataIsRefusedAndSafe)
{
    std::vector<TBSplineCurve> bad;
    auto variant = [&](auto change) {
        TBSplineCurve c = SmallQuadratic();
        change(c);
        bad.push_back(c);
    };
    variant([](TBSplineCurve& c) { c.Degree = 0; });
    variant([](TBSplineCurve& c) { c.Degree = -3; });
    variant([](TBSplineCurve& c) { c.Degree = 100; });
    variant([](TBSplineCurve& c) { c.Degree = INT_MAX; });
    variant([](TBSplineCurve& c) { c.Knots.pop_back(); });
    variant([](TBSplineCurve& c) { c.Knots.push_back(2); });
    variant([](TBSplineCurve& c) { c.Knots = {0, 0, 0, 0.7, 0.2, 1, 1}; });
    variant([](TBSplineCurve& c) { c.Knots = {1, 1, 1, 0.5, 0, 0, 0}; });
    variant([](TBSplineCurve& c) { c.Knots = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}; });
    variant([](TBSplineCurve& c) { c.Knots = {0, 0, 0, 0, 1, 1, 1}; });  // a knot four times
    variant([](TBSplineCurve& c) { c.Knots[3] = kNaN; });
    variant([](TBSplineCurve& c) { c.Knots[6] = kInf; });
    variant([](TBSplineCurve& c) { c.Points[1].Y = kNaN; });
    variant([](TBSplineCurve& c) { c.Points[2].X = -kInf; });
    variant([](TBSplineCurve& c) { c.Points[3].Z = 1e300; });
    variant([](TBSplineCurve& c) { c.Weights = {1, 0, 1, 1}; });
    variant([](TBSplineCurve& c) { c.Weights = {1, -1, 1, 1}; });
    variant([](TBSplineCurve& c) { c.Weights = {0, 0, 0, 0}; });
    variant([](TBSplineCurve& c) { c.Weights = {1, kNaN, 1, 1}; });
    variant([](TBSplineCurve& c) { c.Weights = {1, 1, 1}; });
    variant([](TBSplineCurve& c) { c.Points.resize(2); });
    variant([](TBSplineCurve& c) { c.Points.clear(); });
    variant([](TBSplineCurve& c) { c = TBSplineCurve(); });
    for (size_t i = 0; i < bad.size(); ++i) {
        TBSplineCurve c = bad[i];
        TouchCurve(c);
        EXPECT_FALSE(Validate(c)) << "variant " << i;
        TouchCurve(c);
    }
    // Sizes that do not fit together give a non-finite point the caller can see.
    EXPECT_FALSE(IsFinite(CurvePoint(bad[4], 0.5)));
    EXPECT_FALSE(IsFinite(CurvePoint(bad[19], 0.5)));
    // All weights zero: the weighted sum is zero, and the point says so.
    EXPECT_FALSE(IsFinite(CurvePoint(bad[17], 0.5)));
    TBSplineCurve good = SmallQuadratic();
    EXPECT_TRUE(Validate(good));
}

TEST(BSplineCurve, PointCountCap)
{
    TBSplineCurve c;
    c.Degree = 1;
    c.Points.assign(kMaxCurvePoints + 1, TVec3{0, 0, 0});
    c.Knots.resize(c.Points.size() + 2);
    for (size_t i = 0; i < c.Knots.size(); ++i)
        c.Knots[i] = double(i);
    EXPECT_FALSE(Validate(c));
    c.Points.pop_back();
    c.Knots.pop_back();
    EXPECT_TRUE(Validate(c));
}

// Sphere of radius r about the origin: the unit circle (along u) swept by a
// semicircular profile from the south pole to the north pole (along v).
TBSplineSurface Sphere(double r)
{
    const TBSplineCurve circle = Circle(1.0);
    const double h = std::sqrt(0.5);
    const TVec3 profile[5] = {{0, 0, -r}, {r, 0, -r}, {r, 0, 0}, {r, 0, r}, {0, 0, r}};
    const double profileWeights[5] = {1, h, 1, h, 1};
    TBSplineSurface s;
    s.DegreeU = s.DegreeV = 2;
    s.KnotsU = circle.Knots;
    s.KnotsV = {0, 0, 0, 0.5, 0.5, 1, 1, 1};
    s.CountU = 9;
    s.CountV = 5;
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 5; ++j) {
            const TVec3& c = circle.Points[i];
            s.Points.push_back({c.X * profile[j].X, c.Y * profile[j].X, profile[j].Z});
            s.Weights.push_back(circle.Weights[i] * profileWeights[j]);
        }
    return s;
}

// An uneven bicubic-by-quadratic patch with points from the sequence.
TBSplineSurface WavyPatch(bool rational)
{
    TSequence seq;
    TBSplineSurface s;
    s.DegreeU = 3;
    s.DegreeV = 2;
    s.KnotsU = UnevenCubicKnots();
    s.KnotsV = {0, 0, 0, 0.3, 0.6, 0.6, 1, 1, 1};
    s.CountU = 8;
    s.CountV = 6;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 6; ++j) {
            s.Points.push_back({i + 0.3 * seq.Next(), j + 0.3 * seq.Next(), seq.Next()});
            if (rational) s.Weights.push_back(1.2 + 0.5 * seq.Next());
        }
    return s;
}

TEST(BSplineSurface, LinearPrecisionOnUnevenKnots)
{
    // Points at the Greville abscissae in both directions give S(u, v) = (u, v, 5).
    TBSplineSurface s = WavyPatch(false);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 6; ++j) {
            const double x = (s.KnotsU[i + 1] + s.KnotsU[i + 2] + s.KnotsU[i + 3]) / 3;
            const double y = (s.KnotsV[j + 1] + s.KnotsV[j + 2]) / 2;
            s.Points[i * 6 + j] = {x, y, 5};
        }
    ASSERT_TRUE(Validate(s));
    for (double u : {0.0, 0.1, 0.2, 0.35, 0.9, 1.0})
        for (double v : {0.0, 0.3, 0.45, 0.6, 1.0}) {
            TVec3 p, du, dv;
            SurfaceDerivatives(s, u, v, p, du, dv);
            EXPECT_LT(Distance(p, {u, v, 5}), 1e-13);
            EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-15);
            EXPECT_LT(Distance(du, {1, 0, 0}), 1e-11);
            EXPECT_LT(Distance(dv, {0, 1, 0}), 1e-11);
        }
}

TEST(BSplineSurface, BezierPatchEqualsTensorDeCasteljau)
{
    TSequence seq;
    TBSplineSurface s;
    s.DegreeU = 2;
    s.DegreeV = 4;
    s.KnotsU = MakeBezierKnots(2);
    s.KnotsV = MakeBezierKnots(4);
    s.CountU = 3;
    s.CountV = 5;
    for (int k = 0; k < 15; ++k)
        s.Points.push_back(seq.NextPoint());
    ASSERT_TRUE(Validate(s));
    for (double u : {0.0, 0.25, 0.6, 1.0})
        for (double v : {0.0, 0.1, 0.5, 0.9, 1.0}) {
            std::vector<TVec3> column;
            for (int i = 0; i < 3; ++i)
                column.push_back(DeCasteljau({s.Points.begin() + i * 5, s.Points.begin() + i * 5 + 5}, v));
            EXPECT_LT(Distance(SurfacePoint(s, u, v), DeCasteljau(column, u)), 1e-13) << u << " " << v;
        }
}

TEST(BSplineSurface, RationalSphereStaysOnRadius)
{
    TBSplineSurface s = Sphere(3.0);
    ASSERT_TRUE(Validate(s));
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            TVec3 p, du, dv;
            SurfaceDerivatives(s, i / 40.0, j / 40.0, p, du, dv);
            EXPECT_NEAR(Length(p), 3.0, 1e-12);
            // Tangents of a sphere are perpendicular to the radius.
            EXPECT_NEAR(Dot(p, du), 0.0, 1e-10);
            EXPECT_NEAR(Dot(p, dv), 0.0, 1e-10);
        }
    EXPECT_TRUE(SurfaceClosedU(s, 1e-9));
    EXPECT_FALSE(SurfaceClosedV(s, 1e-9));
    double u0, u1, v0, v1;
    ASSERT_TRUE(SurfaceDomain(s, u0, u1, v0, v1));
    EXPECT_EQ(u0, 0.0);
    EXPECT_EQ(u1, 1.0);
    EXPECT_EQ(v0, 0.0);
    EXPECT_EQ(v1, 1.0);
}

TEST(BSplineSurface, ClosedAlongV)
{
    // The sphere with u and v exchanged: the circle now runs along v.
    const TBSplineSurface a = Sphere(1.0);
    TBSplineSurface s = a;
    std::swap(s.DegreeU, s.DegreeV);
    std::swap(s.KnotsU, s.KnotsV);
    std::swap(s.CountU, s.CountV);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 5; ++j) {
            s.Points[j * 9 + i] = a.Points[i * 5 + j];
            s.Weights[j * 9 + i] = a.Weights[i * 5 + j];
        }
    ASSERT_TRUE(Validate(s));
    EXPECT_TRUE(SurfaceClosedV(s, 1e-9));
    EXPECT_FALSE(SurfaceClosedU(s, 1e-9));
    EXPECT_LT(Distance(SurfacePoint(s, 0.3, 0.7), SurfacePoint(a, 0.7, 0.3)), 1e-14);
}

TEST(BSplineSurface, DerivativesMatchFiniteDifferences)
{
    const double h = 1e-6;
    for (bool rational : {false, true}) {
        TBSplineSurface s = WavyPatch(rational);
        ASSERT_TRUE(Validate(s));
        for (double u : {0.05, 0.34, 0.36, 0.7})
            for (double v : {0.1, 0.59, 0.61, 0.95}) {
                TVec3 p, du, dv;
                SurfaceDerivatives(s, u, v, p, du, dv);
                const TVec3 fu = (SurfacePoint(s, u + h, v) - SurfacePoint(s, u - h, v)) * (0.5 / h);
                const TVec3 fv = (SurfacePoint(s, u, v + h) - SurfacePoint(s, u, v - h)) * (0.5 / h);
                EXPECT_LT(Distance(du, fu), 1e-6 * (1 + Length(fu))) << rational << " " << u << " " << v;
                EXPECT_LT(Distance(dv, fv), 1e-6 * (1 + Length(fv))) << rational << " " << u << " " << v;
            }
    }
}

// Evaluates every surface entry point whatever its state; under ASan a bad read fails here.
void TouchSurface(const TBSplineSurface& s)
{
    for (double u : {-1.0, 0.0, 0.5, 1.0, kNaN})
        for (double v : {-kInf, 0.0, 0.4, 1.0, 3.0}) {
            TVec3 p, du, dv;
            SurfaceDerivatives(s, u, v, p, du, dv);
            (void)SurfacePoint(s, u, v);
        }
    double u0, u1, v0, v1;
    (void)SurfaceDomain(s, u0, u1, v0, v1);
    (void)SurfaceClosedU(s, 1e-6);
    (void)SurfaceClosedV(s, 1e-6);
    double u, v;
    (void)InvertSurfacePoint(s, {1, 1, 0}, u, v, 1e-6);
    (void)InvertSurfacePointNear(s, {1, 1, 0}, 0.5, 0.5, u, v, 1e-6);
}

TEST(BSplineSurface, HostileDataIsRefusedAndSafe)
{
    std::vector<TBSplineSurface> bad;
    auto variant = [&](auto change) {
        TBSplineSurface s = WavyPatch(true);
        change(s);
        bad.push_back(s);
    };
    variant([](TBSplineSurface& s) { s.DegreeU = 0; });
    variant([](TBSplineSurface& s) { s.DegreeV = 100; });
    variant([](TBSplineSurface& s) { s.DegreeV = -1; });
    variant([](TBSplineSurface& s) { s.CountU = 7; });
    variant([](TBSplineSurface& s) { s.CountV = -6; });
    variant([](TBSplineSurface& s) { s.CountU = s.CountV = INT_MAX; });
    variant([](TBSplineSurface& s) { s.CountU = 65536, s.CountV = 65536 * 2; });
    variant([](TBSplineSurface& s) { s.CountU = 6, s.CountV = 8; });  // the knot vectors no longer fit
    variant([](TBSplineSurface& s) { s.KnotsU.pop_back(); });
    variant([](TBSplineSurface& s) { s.KnotsV.clear(); });
    variant([](TBSplineSurface& s) { std::swap(s.KnotsV[3], s.KnotsV[5]); });
    variant([](TBSplineSurface& s) { s.KnotsU[4] = kNaN; });
    variant([](TBSplineSurface& s) { s.Points[7].X = kNaN; });
    variant([](TBSplineSurface& s) { s.Points[20].Z = 1e300; });
    variant([](TBSplineSurface& s) { s.Points.pop_back(); });
    variant([](TBSplineSurface& s) { s.Weights[3] = 0; });
    variant([](TBSplineSurface& s) { s.Weights[3] = -2; });
    variant([](TBSplineSurface& s) { s.Weights.assign(s.Weights.size(), 0.0); });
    variant([](TBSplineSurface& s) { s.Weights.pop_back(); });
    variant([](TBSplineSurface& s) { s = TBSplineSurface(); });
    for (size_t i = 0; i < bad.size(); ++i) {
        TBSplineSurface s = bad[i];
        TouchSurface(s);
        EXPECT_FALSE(Validate(s)) << "variant " << i;
        TouchSurface(s);
    }
    EXPECT_FALSE(IsFinite(SurfacePoint(bad[5], 0.5, 0.5)));
    EXPECT_FALSE(IsFinite(SurfacePoint(bad[14], 0.5, 0.5)));
    EXPECT_FALSE(IsFinite(SurfacePoint(bad[17], 0.5, 0.5)));
    TBSplineSurface good = WavyPatch(true);
    EXPECT_TRUE(Validate(good));
}

TEST(BSplineInversion, CurveReturnsTheSampledParameter)
{
    TBSplineCurve c = Circle(2.0);
    ASSERT_TRUE(Validate(c));
    for (int i = 1; i < 50; ++i) {
        const double t0 = i / 50.0;
        double t = -1;
        ASSERT_TRUE(InvertCurvePoint(c, CurvePoint(c, t0), t, 1e-9)) << t0;
        EXPECT_NEAR(t, t0, 1e-9);
        // A point off the curve in its plane projects on the same parameter.
        EXPECT_FALSE(InvertCurvePoint(c, CurvePoint(c, t0) * 1.5, t, 1e-9));
        EXPECT_NEAR(t, t0, 1e-7);
        // With a loose tolerance the foot is still found to a small part of it.
        EXPECT_TRUE(InvertCurvePoint(c, CurvePoint(c, t0) * 1.5, t, 0.2));
        EXPECT_LT(Distance(CurvePoint(c, t), CurvePoint(c, t0)), 0.2 * 1e-2);
    }
    // The ends of an open curve: the parameters of an edge's vertices.
    TSequence seq;
    TBSplineCurve open;
    open.Degree = 3;
    open.Knots = UnevenCubicKnots();
    for (int i = 0; i < 8; ++i)
        open.Points.push_back(TVec3{double(i), 0, 0} + seq.NextPoint() * 0.3);
    ASSERT_TRUE(Validate(open));
    double t;
    ASSERT_TRUE(InvertCurvePoint(open, open.Points.front(), t, 1e-9));
    EXPECT_NEAR(t, 0.0, 1e-9);
    ASSERT_TRUE(InvertCurvePoint(open, open.Points.back(), t, 1e-9));
    EXPECT_NEAR(t, 1.0, 1e-9);
    // Beyond the end: the nearest point is the end, too far to be accepted.
    EXPECT_FALSE(InvertCurvePoint(open, open.Points.back() + TVec3{5, 0, 0}, t, 1e-6));
    EXPECT_NEAR(t, 1.0, 1e-9);
}

TEST(BSplineInversion, NearestSampleOnTheWrongBranch)
{
    // A thin hairpin: the sample nearest to p lies on the return branch, 0.01 away,
    // so Newton from it stalls there and a later start must find p itself.
    TBSplineCurve c;
    c.Degree = 1;
    c.Knots = {0, 0, 1, 2, 3, 3};
    c.Points = {{0, 0, 0}, {10, 0, 0}, {10, 0.01, 0}, {-0.3, 0.01, 0}};
    ASSERT_TRUE(Validate(c));
    double t;
    ASSERT_TRUE(InvertCurvePoint(c, {0.3, 0, 0}, t, 1e-6));
    EXPECT_NEAR(t, 0.03, 1e-9);
}

TEST(BSplineInversion, CurveHintIsUsedAndWrongHintsRecover)
{
    TBSplineCurve c = Circle(1.0);
    ASSERT_TRUE(Validate(c));
    const TVec3 p = CurvePoint(c, 0.3);
    for (double hint : {0.29, 0.8, 0.0, -5.0, kNaN, kInf}) {
        double t = -1;
        ASSERT_TRUE(InvertCurvePointNear(c, p, hint, t, 1e-9)) << hint;
        EXPECT_NEAR(t, 0.3, 1e-9) << hint;
    }
}

TEST(BSplineInversion, SurfaceReturnsTheSampledParameters)
{
    for (bool rational : {false, true}) {
        TBSplineSurface s = WavyPatch(rational);
        ASSERT_TRUE(Validate(s));
        for (double u0 : {0.0, 0.02, 0.35, 0.5, 0.81, 1.0})
            for (double v0 : {0.0, 0.13, 0.6, 0.77, 1.0}) {
                const TVec3 p = SurfacePoint(s, u0, v0);
                double u = -1, v = -1;
                ASSERT_TRUE(InvertSurfacePoint(s, p, u, v, 1e-9)) << u0 << " " << v0;
                EXPECT_NEAR(u, u0, 1e-7);
                EXPECT_NEAR(v, v0, 1e-7);
                ASSERT_TRUE(InvertSurfacePointNear(s, p, u0 + 0.01, v0 - 0.01, u, v, 1e-9));
                EXPECT_NEAR(u, u0, 1e-7);
                EXPECT_NEAR(v, v0, 1e-7);
            }
    }
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
            EXPECT_TRUE(InvertSurfacePoint(s, p * (3.5 / 3.0), u, v, 0.1));
            // A hint on the far side of the sphere falls back to the search.
            ASSERT_TRUE(InvertSurfacePointNear(s, p, u0 + 0.5, 1 - v0, u, v, 1e-9));
            EXPECT_NEAR(u, u0, 1e-7);
            EXPECT_NEAR(v, v0, 1e-7);
        }
    // Poles, where the u derivative vanishes, and the seam u = 0 = 1.
    for (const TVec3& p : {TVec3{0, 0, 3}, TVec3{0, 0, -3}, TVec3{3, 0, 0}, TVec3{0, -3, 0}}) {
        ASSERT_TRUE(InvertSurfacePoint(s, p, u, v, 1e-9));
        EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-8);
        ASSERT_TRUE(InvertSurfacePointNear(s, p, 0.5, 0.5, u, v, 1e-9));
        EXPECT_LT(Distance(SurfacePoint(s, u, v), p), 1e-8);
    }
}

TEST(BSplineInversion, UnusableTargetsAndTolerances)
{
    TBSplineSurface s = Sphere(1.0);
    TBSplineCurve c = Circle(1.0);
    ASSERT_TRUE(Validate(s));
    ASSERT_TRUE(Validate(c));
    double u, v, t;
    for (const TVec3& p : {TVec3{kNaN, 0, 0}, TVec3{0, kInf, 0}}) {
        EXPECT_FALSE(InvertSurfacePoint(s, p, u, v, 1e-6));
        EXPECT_FALSE(InvertCurvePoint(c, p, t, 1e-6));
    }
    for (double tol : {0.0, -1.0, kNaN, kInf}) {
        EXPECT_FALSE(InvertSurfacePoint(s, {1, 0, 0}, u, v, tol));
        EXPECT_FALSE(InvertSurfacePointNear(s, {1, 0, 0}, 0, 0.5, u, v, tol));
        EXPECT_FALSE(InvertCurvePoint(c, {1, 0, 0}, t, tol));
        EXPECT_FALSE(InvertCurvePointNear(c, {1, 0, 0}, 0, t, tol));
    }
    // Far away points give false but parameters inside the domain.
    EXPECT_FALSE(InvertSurfacePoint(s, {1e9, 0, 0}, u, v, 1e-6));
    EXPECT_TRUE(u >= 0 && u <= 1 && v >= 0 && v <= 1);
}

}  // namespace
}  // namespace voxaro
