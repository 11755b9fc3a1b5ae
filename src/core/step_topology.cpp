// Faces of the boundary representation over the point pool. A loop runs
// through the vertex at which each of its edges is entered and the points
// along the edge's curve; each edge is sampled once (per placement) and its
// points pooled, so the faces on both sides of it share them exactly. Curved
// faces also keep their surface, sense and bounds to be drawn on the surface;
// their loops are their fall-back polygon.
#include <algorithm>
#include <cmath>
#include <utility>

#include "reader_error.h"
#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

bool Near(const TStepScene& scene, int32_t a, int32_t b)
{
    const TStepVec3& p = scene.Points[static_cast<size_t>(a)];
    const TStepVec3& q = scene.Points[static_cast<size_t>(b)];
    return std::fabs(p.X - q.X) + std::fabs(p.Y - q.Y) + std::fabs(p.Z - q.Z) < 1e-8;
}

// Every point index gathered into a loop is counted: references that repeat
// loops, faces or shells can otherwise turn a small file into gigabytes.
void Collect(TStepScene& scene, TStepIntArray& loop, int32_t point)
{
    if (++scene.CollectedIndices > scene.CollectedLimit) throw TReaderError("Too much repeated geometry.");
    loop.push_back(point);
}

// Every list item walked counts too, whatever it leads to: shells, faces,
// bounds and loops that refer to one instance again and again cost the file
// nothing to write and the reader a walk each time.
void Walk(TStepScene& scene)
{
    if (++scene.CollectedIndices > scene.CollectedLimit) throw TReaderError("Too much repeated geometry.");
}

// ".T." anywhere, or exactly "T", after trimming and upper-casing.
bool IsTrueFlag(std::string_view flag)
{
    const char* b = flag.data();
    const char* e = b + flag.size();
    Trim(b, e);
    return FindNoCase(b, e, ".T.") || EqualsNoCase(b, e, "T");
}

}  // namespace

void AddFace(TStepScene& scene, const TStepIntArray& loop, bool hasColor, uint8_t r, uint8_t g, uint8_t b)
{
    if (loop.size() < 3) return;
    TStepFace face;
    face.Outer.reserve(loop.size());
    for (int32_t p : loop)
        if (face.Outer.empty() || !Near(scene, p, face.Outer.back())) face.Outer.push_back(p);
    if (face.Outer.size() >= 2 && Near(scene, face.Outer.back(), face.Outer.front())) face.Outer.pop_back();
    if (face.Outer.size() < 3) return;
    face.R = r;
    face.G = g;
    face.B = b;
    face.HasColor = hasColor;
    scene.Faces.push_back(std::move(face));
}

void AddFaceWithHoles(TStepScene& scene, const TStepIntArray& loop, TStepHoleArray&& holes, bool hasColor, uint8_t r,
                      uint8_t g, uint8_t b)
{
    size_t before = scene.Faces.size();
    AddFace(scene, loop, hasColor, r, g, b);
    if (scene.Faces.size() > before) scene.Faces.back().Holes = std::move(holes);
}

void AddPolyLoopFace(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!e || e->ParamCount < 2) return;
    TStepList items(scene);
    OpenList(scene.Param(*e, 1), items.Items);
    TStepIntArray loop;
    for (std::string_view item : items.Items) {
        Walk(scene);
        TStepVec3 p;
        if (ReadPoint(scene, FindEntity(scene, ParseRef(item)), p)) Collect(scene, loop, AddPoint(scene, p));
    }
    AddFace(scene, loop, false, 0, 0, 0);
}

// The points strictly inside edge pos, from its start to its end, pooled
// once per placement: (first entry in EdgePoints, count).
std::pair<uint32_t, uint32_t> EdgeSamples(TStepScene& scene, int32_t pos)
{
    TStepScene::TEdgeSamples& cached = scene.EdgeCache[static_cast<size_t>(pos)];
    if (cached.Generation == scene.Generation) return {cached.First, cached.Count};
    std::vector<TVec3> points;
    SampleEdge(scene, pos, points);
    if (scene.EdgePointCount + points.size() > UINT32_MAX) throw TOutOfMemory();
    cached = {scene.Generation, static_cast<uint32_t>(scene.EdgePointCount), static_cast<uint32_t>(points.size())};
    if (scene.EdgePointCount + points.size() > scene.EdgePoints.size() &&
        !scene.EdgePoints.Resize(
            std::max<size_t>(2 * scene.EdgePoints.size(), scene.EdgePointCount + points.size() + 1024)))
        throw TOutOfMemory();
    for (const TVec3& p : points)
        scene.EdgePoints[scene.EdgePointCount++] = AddPoint(scene, p);
    return {cached.First, cached.Count};
}

// Each oriented edge contributes the vertex at which the traversal enters
// it (the edge's start, or its end when the orientation is false) and the
// points along it in the direction of the traversal.
bool BuildEdgeLoop(TStepScene& scene, int32_t pos, TStepIntArray& loop, TStepIntArray* edges)
{
    loop.clear();
    if (edges) edges->clear();
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stEdgeLoop, 2)) return false;
    TStepList items(scene);
    OpenList(scene.Param(*e, 1), items.Items);
    for (std::string_view item : items.Items) {
        Walk(scene);
        const TStepEntity* oriented = scene.At(FindEntity(scene, ParseRef(item)));
        if (!HasType(oriented, stOrientedEdge, 4)) continue;
        int32_t edge = ResolveParam(scene, *oriented, 3);
        if (!HasType(scene.At(edge), stEdgeCurve, 0)) continue;
        bool forward = oriented->ParamCount < 5 || IsTrueFlag(scene.Param(*oriented, 4));
        TStepVec3 start, end;
        bool hasStart, hasEnd;
        ReadEdgeEnds(scene, edge, start, end, hasStart, hasEnd);
        if (forward ? !hasStart : !hasEnd) continue;
        Collect(scene, loop, AddPoint(scene, forward ? start : end));
        if (hasStart && hasEnd) {
            const auto [first, count] = EdgeSamples(scene, edge);
            for (uint32_t k = 0; k < count; ++k)
                Collect(scene, loop, scene.EdgePoints[first + (forward ? k : count - 1 - k)]);
            scene.CurvePointsCollected += count;
        }
        if (edges) edges->resize(loop.size(), edge);
    }
    return loop.size() >= 3;
}

namespace {

// Consecutive repeats of a corner (a degenerate edge at a pole) dropped.
void DropRepeats(TStepLoop& l)
{
    size_t w = 0;
    for (size_t i = 0; i < l.Points.size(); ++i) {
        if (w > 0 && l.Points[i] == l.Points[w - 1]) continue;
        l.Points[w] = l.Points[i], l.Edges[w] = l.Edges[i], ++w;
    }
    while (w > 1 && l.Points[w - 1] == l.Points[0])
        --w;
    l.Points.resize(w), l.Edges.resize(w);
}

// A bound of a curved face from its loop's corners, in the direction the
// bound gives them.
TStepLoop SurfaceLoop(const TStepIntArray& points, const TStepIntArray& edges, bool outer, bool reversed)
{
    TStepLoop l{points, edges, outer};
    if (reversed) {
        std::reverse(l.Points.begin(), l.Points.end());
        std::reverse(l.Edges.begin(), l.Edges.end());
    }
    DropRepeats(l);
    return l;
}

// A VERTEX_LOOP: one corner of a curved face (a cone's apex, a sphere's pole).
bool ReadVertexLoop(TStepScene& scene, const TStepEntity& loop, bool outer, TStepLoop& out)
{
    TStepVec3 p;
    if (!ReadVertexPoint(scene, ResolveParam(scene, loop, 1), p)) return false;
    out = TStepLoop{{}, {-1}, outer};
    Collect(scene, out.Points, AddPoint(scene, p));
    return true;
}

int32_t CurrentXform(TStepScene& scene)
{
    if (!scene.UseXform) return -1;
    TMat4 m;
    std::copy(scene.Xform, scene.Xform + 16, m.M);
    if (scene.FaceXforms.empty() || !std::equal(m.M, m.M + 16, scene.FaceXforms.back().M))
        scene.FaceXforms.push_back(m);
    return static_cast<int32_t>(scene.FaceXforms.size() - 1);
}

}  // namespace

void AddAdvancedFace(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!e || (e->TypeCode != stAdvancedFace && e->TypeCode != stFaceSurface) || e->ParamCount < 2) return;
    if (IsHidden(scene, e->Id)) return;
    uint8_t r, g, b;
    bool hasColor = GetFaceColor(scene, e->Id, r, g, b);
    if (!hasColor && scene.InheritedColor >= 0) {  // the colour of the shell, solid or representation
        r = static_cast<uint8_t>(scene.InheritedColor >> 16);
        g = static_cast<uint8_t>(scene.InheritedColor >> 8);
        b = static_cast<uint8_t>(scene.InheritedColor);
        hasColor = true;
    }
    const int32_t surface = e->ParamCount >= 3 ? ResolveParam(scene, *e, 2) : -1;
    const bool curved = !IsPlaneOrUnknown(scene, surface);

    TStepIntArray outer, loop, edges;
    TStepHoleArray holes;
    bool outerReversed = false;
    const uint64_t curvePointsBefore = scene.CurvePointsCollected;
    std::vector<TStepLoop> loops;
    TStepList bounds(scene);
    OpenList(scene.Param(*e, 1), bounds.Items);
    for (std::string_view item : bounds.Items) {
        Walk(scene);
        const TStepEntity* bound = scene.At(FindEntity(scene, ParseRef(item)));
        if (!bound || (bound->TypeCode != stFaceOuterBound && bound->TypeCode != stFaceBound) || bound->ParamCount < 2)
            continue;
        const bool isOuter = bound->TypeCode == stFaceOuterBound;
        const int32_t loopPos = ResolveParam(scene, *bound, 1);
        const TStepEntity* loopEntity = scene.At(loopPos);
        if (!loopEntity) continue;
        // A bound whose orientation is false is walked backwards: then
        // every loop has the face on its left seen from outside.
        const bool reversed = bound->ParamCount >= 3 && !IsTrueFlag(scene.Param(*bound, 2));
        TStepLoop vertex;
        if (curved && HasType(loopEntity, stVertexLoop, 2) && ReadVertexLoop(scene, *loopEntity, isOuter, vertex))
            loops.push_back(std::move(vertex));
        if (loopEntity->TypeCode == stPolyLoop) {
            if (isOuter) AddPolyLoopFace(scene, loopPos);  // a face of its own, without colour or holes
        } else if (loopEntity->TypeCode == stEdgeLoop) {
            const bool polygon = BuildEdgeLoop(scene, loopPos, loop, curved ? &edges : nullptr);
            if (curved && !loop.empty()) {
                TStepLoop l = SurfaceLoop(loop, edges, isOuter, reversed);
                if (!l.Points.empty()) loops.push_back(std::move(l));
            }
            if (!polygon) continue;
            if (isOuter) {
                outer.swap(loop);  // a later outer bound wins
                outerReversed = reversed;
            } else {
                if (reversed) std::reverse(loop.begin(), loop.end());
                holes.push_back(std::move(loop));  // emptied again by the next BuildEdgeLoop
            }
        }
    }
    if (outer.empty() && !holes.empty()) {
        // No bound says which is outer: the largest loop is (writers list
        // the bounds in any order).
        size_t largest = 0;
        double area = -1;
        for (size_t k = 0; k < holes.size(); ++k) {
            const TStepVec3 n = NewellArea(scene, holes[k]);
            if (Dot(n, n) > area) area = Dot(n, n), largest = k;
        }
        outer = std::move(holes[largest]);  // walked as its bound says already
        holes.erase(holes.begin() + static_cast<std::ptrdiff_t>(largest));
    }
    if (outerReversed) std::reverse(outer.begin(), outer.end());
    const size_t before = scene.Faces.size();
    if (outer.size() >= 3) AddFaceWithHoles(scene, outer, std::move(holes), hasColor, r, g, b);
    if (scene.Faces.size() > before) scene.Faces.back().CurvedEdges = scene.CurvePointsCollected > curvePointsBefore;
    if (!curved || loops.empty()) return;
    if (scene.Faces.size() == before) {  // no polygon to fall back to, but a surface to draw on
        scene.Faces.emplace_back();
        TStepFace& f = scene.Faces.back();
        f.R = r, f.G = g, f.B = b, f.HasColor = hasColor;
    }
    TStepFace& face = scene.Faces.back();
    face.Surface = surface;
    face.SameSense = e->ParamCount < 4 || IsTrueFlag(scene.Param(*e, 3));
    face.Xform = CurrentXform(scene);
    face.Loops = std::move(loops);
}

void AddClosedShell(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if ((!HasType(e, stClosedShell, 2) && !HasType(e, stOpenShell, 2)) || IsHidden(scene, e->Id)) return;
    TInheritedColor shellColor(scene, ItemColor(scene, e->Id));
    TStepList faces(scene);
    OpenList(scene.Param(*e, 1), faces.Items);
    for (std::string_view item : faces.Items) {
        Walk(scene);
        int32_t face = FindEntity(scene, ParseRef(item));
        if (HasType(scene.At(face), stAdvancedFace, 0) || HasType(scene.At(face), stFaceSurface, 0))
            AddAdvancedFace(scene, face);
    }
}

// The shells of a SHELL_BASED_SURFACE_MODEL.
void AddShellList(TStepScene& scene, const TStepEntity& model)
{
    TStepList shells(scene);
    OpenList(scene.Param(model, 1), shells.Items);
    for (std::string_view item : shells.Items) {
        Walk(scene);
        AddClosedShell(scene, FindEntity(scene, ParseRef(item)));
    }
}

// A BREP_WITH_VOIDS: its outer shell and the shells of its voids (each
// written as an oriented closed shell, whose shell is its third parameter).
void AddSolidWithVoids(TStepScene& scene, const TStepEntity& solid)
{
    AddClosedShell(scene, ResolveParam(scene, solid, 1));
    if (solid.ParamCount < 3) return;
    TStepList voids(scene);
    OpenList(scene.Param(solid, 2), voids.Items);
    for (std::string_view item : voids.Items) {
        Walk(scene);
        const int32_t at = FindEntity(scene, ParseRef(item));
        const TStepEntity* e = scene.At(at);
        if (HasType(e, stClosedShell, 2))
            AddClosedShell(scene, at);
        else if (e && e->ParamCount >= 3)
            AddClosedShell(scene, ResolveParam(scene, *e, 2));
    }
}

void AddShapeRep(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!e || e->ParamCount < 2 || IsHidden(scene, e->Id)) return;
    TInheritedColor repColor(scene, ItemColor(scene, e->Id));
    TStepList items(scene);
    OpenList(scene.Param(*e, 1), items.Items);
    for (std::string_view item : items.Items) {
        Walk(scene);
        int32_t at = FindEntity(scene, ParseRef(item));
        const TStepEntity* it = scene.At(at);
        if (!it || IsHidden(scene, it->Id)) continue;
        TInheritedColor itemColor(scene, ItemColor(scene, it->Id));
        if (it->TypeCode == stAdvancedFace)
            AddAdvancedFace(scene, at);
        else if (HasType(it, stManifoldSolidBrep, 2))
            AddClosedShell(scene, ResolveParam(scene, *it, 1));
        else if (it->TypeCode == stClosedShell || it->TypeCode == stOpenShell)
            AddClosedShell(scene, at);
        else if (HasType(it, stShellBasedSurfaceModel, 2))
            AddShellList(scene, *it);
        else if (HasType(it, stBrepWithVoids, 2))
            AddSolidWithVoids(scene, *it);
    }
}

}  // namespace voxaro
