// Faces of the boundary representation as polygons over the point pool. Only
// the vertices of edges are used: the curve of an edge and the surface of a
// face are never read, so curved edges become chords and a face bounded by a
// single closed edge has too few points and is dropped.
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
        TStepVec3 p;
        if (ReadPoint(scene, FindEntity(scene, ParseRef(item)), p)) Collect(scene, loop, AddPoint(scene, p));
    }
    AddFace(scene, loop, false, 0, 0, 0);
}

// Each oriented edge contributes the vertex at which the traversal enters
// it: the edge's start, or its end when the orientation is false.
bool BuildEdgeLoop(TStepScene& scene, int32_t pos, TStepIntArray& loop)
{
    loop.clear();
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stEdgeLoop, 2)) return false;
    TStepList items(scene);
    OpenList(scene.Param(*e, 1), items.Items);
    for (std::string_view item : items.Items) {
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
    }
    return loop.size() >= 3;
}

void AddAdvancedFace(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stAdvancedFace, 2)) return;
    uint8_t r, g, b;
    bool hasColor = GetFaceColor(scene, e->Id, r, g, b);

    TStepIntArray outer, loop;
    TStepHoleArray holes;
    TStepList bounds(scene);
    OpenList(scene.Param(*e, 1), bounds.Items);
    for (std::string_view item : bounds.Items) {
        const TStepEntity* bound = scene.At(FindEntity(scene, ParseRef(item)));
        if (!bound || (bound->TypeCode != stFaceOuterBound && bound->TypeCode != stFaceBound) || bound->ParamCount < 2)
            continue;
        const bool isOuter = bound->TypeCode == stFaceOuterBound;
        const int32_t loopPos = ResolveParam(scene, *bound, 1);
        const TStepEntity* loopEntity = scene.At(loopPos);
        if (!loopEntity) continue;
        if (loopEntity->TypeCode == stPolyLoop) {
            if (isOuter) AddPolyLoopFace(scene, loopPos);  // a face of its own, without colour or holes
        } else if (loopEntity->TypeCode == stEdgeLoop && BuildEdgeLoop(scene, loopPos, loop)) {
            if (isOuter)
                outer.swap(loop);  // a later outer bound wins
            else
                holes.push_back(std::move(loop));  // emptied again by the next BuildEdgeLoop
        }
    }
    if (outer.empty() && !holes.empty()) {
        outer = std::move(holes.front());
        holes.erase(holes.begin());
    }
    if (outer.size() >= 3) AddFaceWithHoles(scene, outer, std::move(holes), hasColor, r, g, b);
}

void AddClosedShell(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!HasType(e, stClosedShell, 2)) return;
    TStepList faces(scene);
    OpenList(scene.Param(*e, 1), faces.Items);
    for (std::string_view item : faces.Items) {
        int32_t face = FindEntity(scene, ParseRef(item));
        if (HasType(scene.At(face), stAdvancedFace, 0)) AddAdvancedFace(scene, face);
    }
}

void AddShapeRep(TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    if (!e || e->ParamCount < 2) return;
    TStepList items(scene);
    OpenList(scene.Param(*e, 1), items.Items);
    for (std::string_view item : items.Items) {
        int32_t at = FindEntity(scene, ParseRef(item));
        const TStepEntity* it = scene.At(at);
        if (!it) continue;
        if (it->TypeCode == stAdvancedFace)
            AddAdvancedFace(scene, at);
        else if (HasType(it, stManifoldSolidBrep, 2))
            AddClosedShell(scene, ResolveParam(scene, *it, 1));
        else if (it->TypeCode == stClosedShell)
            AddClosedShell(scene, at);
    }
}

}  // namespace voxaro
