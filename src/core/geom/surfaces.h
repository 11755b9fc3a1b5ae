// Surfaces of three-dimensional space in their parameters (u, v): planes,
// cylinders, cones, spheres, tori, B-spline patches, surfaces swept from a
// curve and offsets of another surface. A point and its normal at (u, v),
// the parameters of a point, and the periods of closed surfaces. Plain values,
// no file formats.
#pragma once

#include <memory>

#include "geom/curves.h"
#include "geom/vec3.h"

namespace voxaro {

struct TBSplineSurface;

enum TSurfaceKind { skPlane, skCylinder, skCone, skSphere, skTorus, skBSpline, skRevolution, skExtrusion, skOffset };

// Parameters, as ISO 10303-42 defines them over the frame's axes:
// plane (x, y); cylinder and cone (angle round Z, height along Z); sphere
// (longitude, latitude); torus (angle round Z, angle round the tube);
// revolution (angle round the axis Frame.Z through Frame.Origin, curve
// parameter); extrusion (curve parameter, length along Direction).
struct TSurface {
    TSurfaceKind Kind = skPlane;
    TFrame Frame;
    double Radius = 0;   // cylinder, cone (at height 0), sphere, torus major radius
    double Radius2 = 0;  // torus minor radius
    double Angle = 0;    // cone semi-angle, radians
    std::shared_ptr<const TBSplineSurface> Spline;
    TCurve Curve;                          // swept curve
    TVec3 Direction{0, 0, 1};              // extrusion vector
    std::shared_ptr<const TSurface> Base;  // offset surface
    double Distance = 0;                   // offset distance along the base's normal
};

TVec3 SurfacePoint(const TSurface& s, double u, double v);
// Unit normal along dS/du x dS/dv; at a singular point the limit where known.
TVec3 SurfaceNormal(const TSurface& s, double u, double v);
// Both at once: for B-splines one evaluation instead of two.
void SurfacePointAndNormal(const TSurface& s, double u, double v, TVec3& point, TVec3& normal);
// Parameters of the surface point nearest to p. Angles come in (-pi, pi];
// hint is a nearby parameter pair the search may start from (B-splines).
// `poleU` says that u is arbitrary at p (a sphere's pole, a cone's apex).
// False when the surface cannot say.
struct TUVHint {
    bool Has = false;
    double U = 0, V = 0;
    double Tolerance = 1e-6;  // how near a search may stop
};
bool SurfaceParam(const TSurface& s, const TVec3& p, const TUVHint& hint, double& u, double& v, bool& poleU);
// The period of a closed parameter, 0 for an open one.
double SurfacePeriodU(const TSurface& s);
double SurfacePeriodV(const TSurface& s);
// The v of the singular circle a face closes onto when its boundary runs once
// round u: a sphere's poles, a cone's apex. False for other surfaces.
bool SurfacePoleV(const TSurface& s, bool upper, double& v);
// Whether the parameters are sound enough to evaluate (radii, axes, splines).
bool SurfaceIsUsable(const TSurface& s);

}  // namespace voxaro
