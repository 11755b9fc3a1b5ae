#include "scene_view.h"

#include <cmath>

namespace voxaro {

namespace {

constexpr double kNearPlane = 0.01;
constexpr double kFarPlane = 200000.0;
constexpr double kHalfFovRadians = 0.39269908169872414;  // 22.5 degrees
constexpr double kMinVectorLength = 1e-12;

// Unit length when the vector is long enough; otherwise unchanged.
TVec3 NormalizedIfLong(const TVec3& v)
{
    double len = std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
    if (len <= kMinVectorLength) return v;
    return {v.X / len, v.Y / len, v.Z / len};
}

}  // namespace

TVec3 OrbitEye(const TVec3& target, double distance, double yaw, double pitch)
{
    double cosPitch = std::cos(pitch);
    return {target.X + distance * cosPitch * std::cos(yaw), target.Y + distance * std::sin(pitch),
            target.Z + distance * cosPitch * std::sin(yaw)};
}

namespace {

// Half width and half height of the near plane's window.
struct TFrustumHalf {
    double Right, Top;
};

TFrustumHalf ToolpathFrustum(int width, int height)
{
    const double top = std::tan(kHalfFovRadians) * kNearPlane;
    return {top * width / height, top};
}

}  // namespace

void ApplyToolpathProjection(const TGLApi& gl, int width, int height)
{
    const TFrustumHalf h = ToolpathFrustum(width, height);
    gl.MatrixMode(gl::PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-h.Right, h.Right, -h.Top, h.Top, kNearPlane, kFarPlane);
}

TMat4 ToolpathProjectionMatrix(int width, int height)
{
    const TFrustumHalf h = ToolpathFrustum(width, height);
    const double n = kNearPlane, f = kFarPlane;
    TMat4 p{};
    p.M[0] = n / h.Right;  // symmetric: (2n / (r - l)), no x or y shift
    p.M[5] = n / h.Top;
    p.M[10] = -(f + n) / (f - n);
    p.M[11] = -1.0;
    p.M[14] = -2.0 * f * n / (f - n);
    return p;
}

TMat4 LookAtRotation(const TVec3& eye, const TVec3& target, const TVec3& up)
{
    TVec3 dir = NormalizedIfLong({target.X - eye.X, target.Y - eye.Y, target.Z - eye.Z});
    TVec3 side = NormalizedIfLong(Cross(dir, up));
    TVec3 trueUp = Cross(side, dir);
    // Column-major: rows side, true up, -direction.
    return {{side.X, trueUp.X, -dir.X, 0.0, side.Y, trueUp.Y, -dir.Y, 0.0, side.Z, trueUp.Z, -dir.Z, 0.0, 0.0, 0.0, 0.0,
             1.0}};
}

TMat4 Translation(double x, double y, double z)
{
    return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}};
}

void LoadLookAtRotation(const TGLApi& gl, const TVec3& eye, const TVec3& target, const TVec3& up)
{
    const TMat4 m = LookAtRotation(eye, target, up);
    gl.MatrixMode(gl::MODELVIEW);
    gl.LoadIdentity();
    gl.MultMatrixd(m.M);
}

}  // namespace voxaro
