// Small vector and matrix maths in double precision, shared by the readers'
// geometry and the views' cameras. Plain values, no file formats.
#pragma once

#include <cmath>

namespace voxaro {

constexpr double kPi = 3.14159265358979323846;

struct TVec3 {
    double X, Y, Z;
};

inline TVec3 operator+(const TVec3& a, const TVec3& b)
{
    return {a.X + b.X, a.Y + b.Y, a.Z + b.Z};
}
inline TVec3 operator-(const TVec3& a, const TVec3& b)
{
    return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}
inline TVec3 operator-(const TVec3& a)
{
    return {-a.X, -a.Y, -a.Z};
}
inline TVec3 operator*(const TVec3& a, double s)
{
    return {a.X * s, a.Y * s, a.Z * s};
}
inline TVec3 operator*(double s, const TVec3& a)
{
    return {a.X * s, a.Y * s, a.Z * s};
}
inline double Dot(const TVec3& a, const TVec3& b)
{
    return a.X * b.X + a.Y * b.Y + a.Z * b.Z;
}
inline TVec3 Cross(const TVec3& a, const TVec3& b)
{
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}
inline double Length(const TVec3& a)
{
    return std::sqrt(Dot(a, a));
}
inline bool IsFinite(const TVec3& a)
{
    return std::isfinite(a.X) && std::isfinite(a.Y) && std::isfinite(a.Z);
}

// a scaled to unit length; `fallback` when a is shorter than 1e-12 or not finite.
inline TVec3 Normalized(const TVec3& a, const TVec3& fallback = {0, 0, 1})
{
    const double length = Length(a);
    if (!(length > 1e-12) || !std::isfinite(length)) return fallback;
    return a * (1.0 / length);
}

// A 4 x 4 matrix in OpenGL's column-major order: element (row r, column c) at 4c + r.
struct TMat4 {
    double M[16];
};

inline TMat4 IdentityMat4()
{
    TMat4 m{};
    m.M[0] = m.M[5] = m.M[10] = m.M[15] = 1;
    return m;
}
TMat4 operator*(const TMat4& a, const TMat4& b);
// The inverse of an affine matrix (last row 0 0 0 1); the identity when it
// has none.
TMat4 InvertAffine(const TMat4& m);

inline TVec3 TransformPoint(const TMat4& m, const TVec3& p)
{
    const double* a = m.M;
    return {a[0] * p.X + a[4] * p.Y + a[8] * p.Z + a[12], a[1] * p.X + a[5] * p.Y + a[9] * p.Z + a[13],
            a[2] * p.X + a[6] * p.Y + a[10] * p.Z + a[14]};
}
// The matrix's linear part applied to a direction (no translation).
inline TVec3 TransformDirection(const TMat4& m, const TVec3& d)
{
    const double* a = m.M;
    return {a[0] * d.X + a[4] * d.Y + a[8] * d.Z, a[1] * d.X + a[5] * d.Y + a[9] * d.Z,
            a[2] * d.X + a[6] * d.Y + a[10] * d.Z};
}

}  // namespace voxaro
