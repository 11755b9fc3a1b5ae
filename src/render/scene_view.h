// Camera pieces shared by the toolpath view and the toolpath thumbnail:
// the 45-degree perspective and a look-at built by hand.
#pragma once

#include "geom/vec3.h"
#include "gl_api.h"

namespace voxaro {

struct TColor {
    float R, G, B, A;
};

inline void SetColor(const TGLApi& gl, const TColor& c)
{
    gl.Color4f(c.R, c.G, c.B, c.A);
}

// Eye of an orbit camera: target + distance x (cos pitch cos yaw, sin pitch, cos pitch sin yaw).
TVec3 OrbitEye(const TVec3& target, double distance, double yaw, double pitch);

// Projection: 45-degree vertical field of view, near 0.01, far 200000,
// width / height as the aspect.
void ApplyToolpathProjection(const TGLApi& gl, int width, int height);
// The matrix glFrustum makes of the same projection.
TMat4 ToolpathProjectionMatrix(int width, int height);

// Loads the model-view matrix with the rotation that looks from eye towards
// target with the given up vector (direction and side are normalised only
// when longer than 1e-12; the true up is used as computed). The caller then
// translates by minus the eye.
void LoadLookAtRotation(const TGLApi& gl, const TVec3& eye, const TVec3& target, const TVec3& up);
// The rotation LoadLookAtRotation loads, and a translation.
TMat4 LookAtRotation(const TVec3& eye, const TVec3& target, const TVec3& up);
TMat4 Translation(double x, double y, double z);

}  // namespace voxaro
