// Triangulation of a polygon with holes in the plane by bridging and ear
// clipping: the order of its triangles is fixed (see the .cpp), so a face
// drawn through it always gives the same triangles. Plain points in, corner
// indices out; every step spends from a work budget.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "reader_error.h"

namespace voxaro {

struct TUV {
    double U, V;
};

// Positive when p lies to the left of the directed line a -> b.
inline double Cross(const TUV& a, const TUV& b, const TUV& p)
{
    return (b.U - a.U) * (p.V - a.V) - (b.V - a.V) * (p.U - a.U);
}

// Twice the signed area, positive for counter-clockwise loops.
double SignedArea2(const std::vector<TUV>& uv);

// Steps a load may still spend; Spend raises a TReaderError when they run out.
class TWorkBudget {
public:
    explicit TWorkBudget(uint64_t limit) : Left_(limit) {}
    void Spend(uint64_t steps)
    {
        if (steps > Left_) throw TReaderError("Faces too complex to triangulate (work limit reached).");
        Left_ -= steps;
    }

private:
    uint64_t Left_;
};

// A loop: the caller's identifiers of its corners and their positions.
struct TPolygon {
    std::vector<int32_t> Points;
    std::vector<TUV> UV;
};

void Reverse(TPolygon& p);

using TTriangleIds = std::array<int32_t, 3>;

// Cuts the outer loop with its holes into triangles of corner identifiers,
// appended to out: the outer loop is turned counter-clockwise, holes of fewer
// than three corners are left out and the others turned clockwise and
// bridged in. When no corner is an ear any more, a face without holes
// (hasHoles false) is fanned from its first remaining corner; one with holes
// keeps the rest unfilled. Spends from work, which raises when it runs out.
void TriangulatePolygon(TPolygon outer, std::vector<TPolygon> holes, bool hasHoles, TWorkBudget& work,
                        std::vector<TTriangleIds>& out);

}  // namespace voxaro
