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

}  // namespace voxaro
