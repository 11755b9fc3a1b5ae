// A constrained Delaunay triangulation of closed loops in the plane, and its
// refinement by inserting points. Used to mesh a face in its surface's
// parameters: the loops are the face's bounds, the region inside an odd
// number of them is kept, and points added later keep the Delaunay rule
// without ever crossing a bound.
#pragma once

#include <cstdint>
#include <vector>

#include "geom/polygon_triangulate.h"

namespace voxaro {

class TUVMesh {
public:
    struct TTri {
        int32_t V[3];  // counter-clockwise
        int32_t N[3];  // triangle across edge V[i] -> V[i + 1], -1 outside
        uint8_t C[3];  // edge i is a bound
    };

    std::vector<TUV> Points;
    std::vector<TTri> Tris;

    // Triangulates the loops (closed chains of indices into points). Points
    // that coincide are merged: Alias[i] is where point i went. False when
    // the loops cannot be triangulated (not finite, or out of work).
    bool Triangulate(std::vector<TUV> points, const std::vector<std::vector<int32_t>>& loops, TWorkBudget& work);
    std::vector<int32_t> Alias;

    // Puts point p, which lies inside triangle t, into the mesh and restores
    // the Delaunay rule around it. Appends every triangle made or changed to
    // touched; returns the new point's index.
    int32_t Insert(int32_t t, TUV p, std::vector<int32_t>& touched);
    // The same for point p on edge k of t, which must not be a bound.
    int32_t InsertOnEdge(int32_t t, int k, TUV p, std::vector<int32_t>& touched);
    // Twice the area of triangle t.
    double Area2(int32_t t) const;

private:
    enum TWhere { wInside, wOnEdge, wVertex, wLost };
    TWhere Locate(const TUV& p, int32_t& t, int& k, TWorkBudget& work) const;
    void SplitTriangle(int32_t t, int32_t q, std::vector<int32_t>* touched);
    void SplitEdge(int32_t t, int k, int32_t q, std::vector<int32_t>* touched);
    bool FlipIfIllegal(int32_t t, int k, std::vector<int32_t>* touched);
    void Flip(int32_t t, int k);
    void Legalize(std::vector<int32_t>* touched);
    bool AddBound(int32_t a, int32_t b, TWorkBudget& work, int depth);
    bool Crossing(int32_t a, int32_t b, int32_t& t, int& k, int32_t& through) const;
    void KeepInside();
    void SetAcross(int32_t t, int32_t from, int32_t to, int32_t neighbour, uint8_t bound);
    void Touch(int32_t t);
    int32_t FindEdge(int32_t a, int32_t b, int& k) const;

    std::vector<std::pair<int32_t, int>> Stack_;  // (triangle, edge) still to be checked
    std::vector<int32_t> VertexTri_;              // a triangle at each point
    int32_t Last_ = 0;                            // where the last search ended
};

}  // namespace voxaro
