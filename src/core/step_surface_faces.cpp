// Curved faces drawn on their surfaces: the face's loops handed to the face
// mesher (geom/face_mesher.h) in the surface's own coordinates, the result
// placed back with the face's assembly transform. Boundary corners keep their
// pooled points, so neighbouring faces meet without gaps.
#include <algorithm>
#include <cmath>

#include "geom/face_mesher.h"
#include "mesh_data.h"
#include "step_scene.h"

namespace voxaro {

namespace {

constexpr size_t kMaxPointsPerFace = 50000;

TFaceQuality FaceQuality(const TStepScene& scene, const std::vector<TTrimLoop>& loops)
{
    TVec3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    for (const TTrimLoop& l : loops)
        for (const TVec3& p : l.Points)
            lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)},
            hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
    TFaceQuality q;
    const double own = lo.X <= hi.X ? 1e-3 * Length(hi - lo) : 0.0;
    q.Tolerance = scene.Sampling.Tolerance > 0 ? scene.Sampling.Tolerance : own;
    if (!(q.Tolerance > 0) || !std::isfinite(q.Tolerance)) q.Tolerance = 1e-6;
    q.MaxAngle = scene.Sampling.MaxAngle;
    q.MaxPoints = kMaxPointsPerFace;
    return q;
}

void WriteVertex(std::vector<TGLVertex>& out, const TVec3& p, const TVec3& n, const uint8_t rgb[3])
{
    const float position[3] = {static_cast<float>(p.X), static_cast<float>(p.Y), static_cast<float>(p.Z)};
    const float normal[3] = {static_cast<float>(n.X), static_cast<float>(n.Y), static_cast<float>(n.Z)};
    out.emplace_back();
    SetGLVertex(out.back(), normal, position, rgb[0], rgb[1], rgb[2]);
}

// The meshed face's triangles as vertex records: corners at their pooled
// points, the points the mesher made placed by `place`.
void WriteTriangles(const TStepScene& scene, const TMeshedFace& meshed, const TMat4& place, const uint8_t rgb[3],
                    std::vector<TGLVertex>& out)
{
    std::vector<TVec3> points(meshed.Points.size()), normals(meshed.Points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const int32_t id = meshed.Ids[i];
        points[i] = id >= 0 ? scene.Points[static_cast<size_t>(id)] : TransformPoint(place, meshed.Points[i]);
        normals[i] = Normalized(TransformDirection(place, meshed.Normals[i]));
    }
    for (const TTriangleIds& t : meshed.Triangles) {
        const TVec3 &a = points[static_cast<size_t>(t[0])], &b = points[static_cast<size_t>(t[1])],
                    &c = points[static_cast<size_t>(t[2])];
        const TVec3 e = Cross(b - a, c - a);
        if (!(Dot(e, e) >= 1e-16)) continue;  // the same rule as for flat faces
        for (int32_t k : t)
            WriteVertex(out, points[static_cast<size_t>(k)], normals[static_cast<size_t>(k)], rgb);
    }
}

}  // namespace

bool MeshCurvedFace(const TStepScene& scene, const TStepFace& face, const uint8_t rgb[3], TWorkBudget& work,
                    std::vector<TGLVertex>& out)
{
    TSurface surface;
    if (!ReadStepSurface(scene, face.Surface, surface)) return false;
    const bool placed = face.Xform >= 0 && static_cast<size_t>(face.Xform) < scene.FaceXforms.size();
    const TMat4 place = placed ? scene.FaceXforms[static_cast<size_t>(face.Xform)] : IdentityMat4();
    const TMat4 local = InvertAffine(place);

    std::vector<TTrimLoop> loops(face.Loops.size());
    for (size_t k = 0; k < loops.size(); ++k) {
        const TStepLoop& from = face.Loops[k];
        loops[k].Ids = from.Points;
        loops[k].Edges = from.Edges;
        loops[k].Outer = from.Outer;
        for (int32_t id : from.Points)
            loops[k].Points.push_back(TransformPoint(local, scene.Points[static_cast<size_t>(id)]));
    }
    TMeshedFace meshed;
    if (!MeshFaceOnSurface(surface, face.SameSense, loops, FaceQuality(scene, loops), work, meshed)) return false;

    WriteTriangles(scene, meshed, place, rgb, out);
    return true;
}

bool MeshFlatFace(const TStepScene& scene, const TStepFace& face, const uint8_t rgb[3], TWorkBudget& work,
                  std::vector<TGLVertex>& out)
{
    if (face.Outer.size() < 3) return false;
    TSurface plane;
    plane.Frame.Z = FaceNormal(scene, face);
    plane.Frame.Origin = scene.Points[static_cast<size_t>(face.Outer[0])];
    const TVec3 other = std::fabs(plane.Frame.Z.X) < 0.9 ? TVec3{1, 0, 0} : TVec3{0, 1, 0};
    plane.Frame.X = Normalized(other - plane.Frame.Z * Dot(other, plane.Frame.Z));
    plane.Frame.Y = Cross(plane.Frame.Z, plane.Frame.X);
    std::vector<TTrimLoop> loops(1 + face.Holes.size());
    for (size_t k = 0; k < loops.size(); ++k) {
        const TStepIntArray& from = k == 0 ? face.Outer : face.Holes[k - 1];
        loops[k].Outer = k == 0;
        loops[k].Ids = from;
        loops[k].Edges.assign(from.size(), -1);
        for (int32_t id : from)
            loops[k].Points.push_back(scene.Points[static_cast<size_t>(id)]);
    }
    TMeshedFace meshed;
    if (!MeshFaceOnSurface(plane, true, loops, FaceQuality(scene, loops), work, meshed)) return false;
    WriteTriangles(scene, meshed, IdentityMat4(), rgb, out);
    return true;
}

}  // namespace voxaro
