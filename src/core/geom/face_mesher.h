// A face of a boundary representation meshed on its surface: the boundary
// loops are lowered into the surface's parameters (seams and poles of closed
// surfaces resolved), cut into triangles there, refined where the surface
// curves, and lifted back with the surface's normals. Plain values in and
// out; no file formats.
#pragma once

#include <cstdint>
#include <vector>

#include "geom/polygon_triangulate.h"
#include "geom/surfaces.h"

namespace voxaro {

// One boundary loop, in the traversal the face gives it.
struct TTrimLoop {
    std::vector<TVec3> Points;   // corners, in the surface's coordinates
    std::vector<int32_t> Ids;    // the caller's identifier of each corner
    std::vector<int32_t> Edges;  // the edge each corner lies on (a seam's edge shows up twice)
    bool Outer = false;
};

struct TFaceQuality {
    double Tolerance = 1e-3;               // largest distance between triangles and surface
    double MaxAngle = 0.2617993877991494;  // largest angle between the normals of one triangle
    size_t MaxPoints = 100000;             // ceiling on the points of one face
};

struct TMeshedFace {
    std::vector<TVec3> Points, Normals;
    std::vector<int32_t> Ids;             // a corner's identifier, -1 for points the mesher made
    std::vector<TTriangleIds> Triangles;  // counter-clockwise seen from outside
};

// Meshes the face bounded by loops on s; sameSense false when the face's
// outside is against the surface's normal. False, with out emptied, when the
// face cannot be drawn on its surface (a corner off it, seams or poles it
// cannot resolve, loops that cannot be cut); the caller then draws its polygon.
// Spends from work (which raises when it runs out).
bool MeshFaceOnSurface(const TSurface& s, bool sameSense, const std::vector<TTrimLoop>& loops,
                       const TFaceQuality& quality, TWorkBudget& work, TMeshedFace& out);

}  // namespace voxaro
