// Placeholder until the B-spline maths lands: the interface the curves use.
#pragma once

#include <vector>

#include "geom/vec3.h"

namespace voxaro {

struct TBSplineCurve {
    int Degree = 0;
    std::vector<double> Knots;
    std::vector<TVec3> Points;
    std::vector<double> Weights;
};
inline bool Validate(TBSplineCurve&)
{
    return false;
}
inline bool ExpandKnots(const std::vector<int>&, const std::vector<double>&, std::vector<double>&, size_t)
{
    return false;
}
inline std::vector<double> MakeBezierKnots(int)
{
    return {};
}
inline double FirstParam(const TBSplineCurve&)
{
    return 0;
}
inline double LastParam(const TBSplineCurve&)
{
    return 1;
}
inline TVec3 CurvePoint(const TBSplineCurve&, double)
{
    return {0, 0, 0};
}
inline bool InvertCurvePoint(const TBSplineCurve&, const TVec3&, double&)
{
    return false;
}

struct TBSplineSurface {
    int DegreeU = 0, DegreeV = 0;
    std::vector<double> KnotsU, KnotsV;
    int CountU = 0, CountV = 0;
    std::vector<TVec3> Points;
    std::vector<double> Weights;
};
inline bool Validate(TBSplineSurface&)
{
    return false;
}
inline TVec3 SurfacePoint(const TBSplineSurface&, double, double)
{
    return {0, 0, 0};
}
inline void SurfaceDerivatives(const TBSplineSurface&, double, double, TVec3& p, TVec3& du, TVec3& dv)
{
    p = du = dv = {0, 0, 0};
}
inline bool InvertSurfacePoint(const TBSplineSurface&, const TVec3&, double&, double&, double)
{
    return false;
}
inline bool InvertSurfacePointNear(const TBSplineSurface&, const TVec3&, double, double, double&, double&)
{
    return false;
}
inline double ClosedPeriodU(const TBSplineSurface&)
{
    return 0;
}
inline double ClosedPeriodV(const TBSplineSurface&)
{
    return 0;
}

}  // namespace voxaro
