// Matrix product of the shared 4 x 4 matrices.
#include "geom/vec3.h"

namespace voxaro {

TMat4 operator*(const TMat4& a, const TMat4& b)
{
    TMat4 r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a.M[k * 4 + row] * b.M[col * 4 + k];
            r.M[col * 4 + row] = sum;
        }
    return r;
}

TMat4 InvertAffine(const TMat4& m)
{
    const double* a = m.M;
    // Columns of the linear part, and its inverse as the rows of cross products.
    const TVec3 c0{a[0], a[1], a[2]}, c1{a[4], a[5], a[6]}, c2{a[8], a[9], a[10]};
    const TVec3 r0 = Cross(c1, c2), r1 = Cross(c2, c0), r2 = Cross(c0, c1);
    const double det = Dot(c0, r0);
    if (!(std::fabs(det) > 1e-300) || !std::isfinite(det)) return IdentityMat4();
    const double s = 1 / det;
    TMat4 r = IdentityMat4();
    const TVec3 rows[3] = {r0 * s, r1 * s, r2 * s};
    for (int i = 0; i < 3; ++i) {
        r.M[i] = rows[i].X, r.M[4 + i] = rows[i].Y, r.M[8 + i] = rows[i].Z;
        r.M[12 + i] = -(rows[i].X * a[12] + rows[i].Y * a[13] + rows[i].Z * a[14]);
    }
    return r;
}

}  // namespace voxaro
