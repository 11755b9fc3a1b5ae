// B-spline and NURBS curves and surfaces: validation of data read from files,
// evaluation of points and first derivatives, and point inversion.
//
// Every function is safe for any value of the structures. Validate refuses what
// cannot be evaluated reliably: a degree outside 1..kMaxBSplineDegree, too many
// points, a knot vector of the wrong length, decreasing, repeating a knot more than
// degree + 1 times or with an empty domain, non-finite or huge values, weights that
// are not all positive. The evaluators check the sizes in O(1) and give a NaN point
// for a structure whose sizes do not fit together, so they never read out of bounds;
// one with fitting sizes but unvalidated values evaluates without fault to values
// that mean nothing. Evaluation allocates nothing: the basis functions live in stack
// arrays bounded by kMaxBSplineDegree.
#pragma once

#include <cstddef>
#include <vector>

#include "geom/vec3.h"

namespace voxaro {

// Limits on data accepted by Validate.
constexpr int kMaxBSplineDegree = 25;
constexpr size_t kMaxCurvePoints = 1000000;
constexpr size_t kMaxSurfacePoints = 4000000;
// Largest coordinate or knot magnitude: leaves room for squared distances and weighted sums.
constexpr double kMaxBSplineCoordinate = 1e12;
// Accepted range of a weight.
constexpr double kMinBSplineWeight = 1e-12;
constexpr double kMaxBSplineWeight = 1e12;

struct TBSplineCurve {
    int Degree = 0;
    std::vector<double> Knots;  // full knot vector: Points.size() + Degree + 1 values
    std::vector<TVec3> Points;
    std::vector<double> Weights;  // empty = non-rational, else one per point
};

// Checks a curve read from a file; clears weights that are all equal. False when it cannot be evaluated.
bool Validate(TBSplineCurve& curve);
// Start of the parameter domain (Knots[Degree]); NaN when the sizes do not fit.
double FirstParam(const TBSplineCurve& curve);
// End of the parameter domain (Knots[Points.size()]); NaN when the sizes do not fit.
double LastParam(const TBSplineCurve& curve);
// Point at parameter t, clamped to the domain (a NaN t gives the first point).
TVec3 CurvePoint(const TBSplineCurve& curve, double t);
// First derivative dC/dt at t, clamped to the domain; rational curves included.
TVec3 CurveDerivative(const TBSplineCurve& curve, double t);
// Point and first derivative in one evaluation.
void CurvePointAndDerivative(const TBSplineCurve& curve, double t, TVec3& point, TVec3& derivative);
// True when the first and last control points lie within `tolerance` of each other.
bool CurveClosed(const TBSplineCurve& curve, double tolerance);

// Expands distinct knots with their multiplicities into a full knot vector of at most
// `cap` values. False (and `out` empty) for mismatched or empty lists, a multiplicity
// below 1, non-finite or decreasing knots, or a total above `cap`.
bool ExpandKnots(const std::vector<int>& multiplicities, const std::vector<double>& knots, std::vector<double>& out,
                 size_t cap);
// Knot vector of a Bezier curve of this degree: degree + 1 zeros and degree + 1 ones
// (empty for a degree outside 1..kMaxBSplineDegree).
std::vector<double> MakeBezierKnots(int degree);

struct TBSplineSurface {
    int DegreeU = 0, DegreeV = 0;
    std::vector<double> KnotsU, KnotsV;  // CountU + DegreeU + 1 and CountV + DegreeV + 1 values
    int CountU = 0, CountV = 0;
    std::vector<TVec3> Points;    // row-major: point (i, j) at i * CountV + j, i along u
    std::vector<double> Weights;  // empty = non-rational, else one per point
};

// Checks a surface read from a file; clears weights that are all equal. False when it cannot be evaluated.
bool Validate(TBSplineSurface& surface);
// Parameter domain [u0, u1] x [v0, v1]; false (and NaNs) when the sizes do not fit.
bool SurfaceDomain(const TBSplineSurface& surface, double& u0, double& u1, double& v0, double& v1);
// Point at (u, v), each clamped to its domain.
TVec3 SurfacePoint(const TBSplineSurface& surface, double u, double v);
// Point and first partial derivatives at (u, v); rational surfaces included.
void SurfaceDerivatives(const TBSplineSurface& surface, double u, double v, TVec3& point, TVec3& du, TVec3& dv);
// True when the first and last rows along u (i = 0 and i = CountU - 1) coincide within `tolerance`.
bool SurfaceClosedU(const TBSplineSurface& surface, double tolerance);
// True when the first and last columns along v (j = 0 and j = CountV - 1) coincide within `tolerance`.
bool SurfaceClosedV(const TBSplineSurface& surface, double tolerance);

// Point inversion: the parameters of the curve or surface point nearest to p. A grid
// of samples spread per knot span (at most 257 along a curve; on a surface up to 4096, shared by the two directions by
// their spans) gives the three nearest samples as starts for at most kInversionNewtonSteps damped Gauss-Newton steps
// each, clamped to the domain. True when the point found lies within kInversionSlack * tolerance of p; on false the
// outputs hold the best parameters found (NaN for unusable data). On a closed curve or surface a point on the seam may
// come back at either end.
constexpr double kInversionSlack = 10.0;
constexpr int kInversionNewtonSteps = 20;
constexpr double kDefaultInversionTolerance = 1e-6;

// Parameter t of the curve point nearest to p, searched over the whole curve.
bool InvertCurvePoint(const TBSplineCurve& curve, const TVec3& p, double& t,
                      double tolerance = kDefaultInversionTolerance);
// As InvertCurvePoint, trying Newton from tHint first and searching the whole curve only when that fails.
bool InvertCurvePointNear(const TBSplineCurve& curve, const TVec3& p, double tHint, double& t,
                          double tolerance = kDefaultInversionTolerance);
// Parameters (u, v) of the surface point nearest to p, searched over the whole surface.
bool InvertSurfacePoint(const TBSplineSurface& surface, const TVec3& p, double& u, double& v,
                        double tolerance = kDefaultInversionTolerance);
// As InvertSurfacePoint, trying Newton from (uHint, vHint) first and searching the whole surface only when that fails.
bool InvertSurfacePointNear(const TBSplineSurface& surface, const TVec3& p, double uHint, double vHint, double& u,
                            double& v, double tolerance = kDefaultInversionTolerance);

}  // namespace voxaro
