// Curves of three-dimensional space: lines, circles, ellipses, polylines and
// B-splines, with a point at a parameter, the parameter of a point, and an
// adaptive sampling between two parameters. Plain values, no file formats.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "geom/vec3.h"

namespace voxaro {

struct TBSplineCurve;

enum TCurveKind { ckLine, ckCircle, ckEllipse, ckPolyline, ckBSpline };

// A placed frame: origin and three orthonormal axes.
struct TFrame {
    TVec3 Origin{0, 0, 0}, X{1, 0, 0}, Y{0, 1, 0}, Z{0, 0, 1};
};

struct TCurve {
    TCurveKind Kind = ckLine;
    TFrame Frame;               // line: Origin and direction X; circle and ellipse: their plane
    double Radius = 0;          // circle radius, ellipse semi-axis along X
    double Radius2 = 0;         // ellipse semi-axis along Y
    std::vector<TVec3> Points;  // polyline corners
    std::shared_ptr<const TBSplineCurve> Spline;
};

// How finely a curve is sampled: the largest distance between the curve and
// its chords, the largest turn between neighbouring chords, and a ceiling on
// the samples of one piece.
struct TSampling {
    double Tolerance = 1e-3;
    double MaxAngle = 0.2617993877991494;  // 15 degrees
    size_t MaxPoints = 4096;
};

// 2 pi for circles and ellipses, 0 for open curves.
double CurvePeriod(const TCurve& c);
TVec3 CurvePoint(const TCurve& c, double t);
// The parameter of the curve point nearest to p (within a period for closed
// curves: in (-pi, pi]). False when the curve cannot say.
bool CurveParam(const TCurve& c, const TVec3& p, double& t);
// Parameters strictly between t0 and t1 (either order) at which the curve is
// to be sampled so that chords stay within the sampling's limits, in order
// from t0 to t1. Never more than sampling.MaxPoints.
void SampleCurve(const TCurve& c, double t0, double t1, const TSampling& sampling, std::vector<double>& out);
// The parameter range of the curve, for open curves whose ends are not given.
void CurveRange(const TCurve& c, double& t0, double& t1);

}  // namespace voxaro
