// The product structure: which representation is placed in which, and where.
//
// Representations (shape representations of every kind) are linked by the
// representation relationships of the file: with an item-defined
// transformation for a component placed in an assembly, without one for a
// product's shape and the B-rep that holds it. A relationship names two
// representations; the component is the one whose product the assembly usage
// (NEXT_ASSEMBLY_USAGE_OCCURRENCE) names as the related one, and the
// transformation maps the component's placement onto the assembly's, in
// whichever order the relationship lists them. MAPPED_ITEMs place a
// representation inside another too. The walk starts at every representation
// that is nobody's component and draws each one as often as it is placed,
// every placement chained from the root, each in its own length unit.
#include <algorithm>
#include <cmath>

#include "reader_error.h"
#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr int kMaxDepth = 64;

struct TLink {
    int32_t Parent, Child;  // table positions; Parent -1 when the file names none that exists
    TMat4 Transform;        // child placement -> parent placement, in the parent's units
};

struct TStructure {
    std::vector<TLink> Links;  // sorted by parent
    std::vector<uint8_t> IsChild, OnPath, Visited;
    std::vector<int32_t> FirstParent;
};

bool IsRepresentation(const TStepScene& scene, int32_t pos)
{
    const TStepEntity* e = scene.At(pos);
    return e && (e->TypeCode == stAdvancedBrepShapeRepresentation || e->TypeCode == stShapeRepresentation) &&
           e->ParamCount >= 2;
}

TMat4 Placement(const TStepScene& scene, int32_t pos)
{
    TStepMatrix m;
    ReadPlacement(scene, pos, m);
    TMat4 r;
    std::copy(m, m + 16, r.M);
    return r;
}

// Product definitions by the representations of their shapes.
std::vector<std::pair<int32_t, int32_t>> RepresentationProducts(const TStepScene& scene)
{
    std::vector<std::pair<int32_t, int32_t>> out;  // (representation, product definition)
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        if (e.TypeCode != stShapeDefinitionRepresentation || e.ParamCount < 2) continue;
        const TStepEntity* shape = scene.At(ResolveParam(scene, e, 0));
        if (!HasType(shape, stProductDefinitionShape, 3)) continue;
        out.emplace_back(ResolveParam(scene, e, 1), ResolveParam(scene, *shape, 2));
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool OfProduct(const std::vector<std::pair<int32_t, int32_t>>& products, int32_t rep, int32_t product)
{
    auto range = std::equal_range(products.begin(), products.end(), std::make_pair(rep, INT32_MIN),
                                  [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == product) return true;
    return false;
}

// The component an assembly usage names, through the CDSR's product shape.
int32_t ComponentOf(const TStepScene& scene, const TStepEntity& cdsr)
{
    if (cdsr.ParamCount < 2) return -1;
    const TStepEntity* shape = scene.At(ResolveParam(scene, cdsr, 1));
    if (!HasType(shape, stProductDefinitionShape, 3)) return -1;
    const TStepEntity* usage = scene.At(ResolveParam(scene, *shape, 2));
    return HasType(usage, stNextAssemblyUsageOccurrence, 5) ? ResolveParam(scene, *usage, 4) : -1;
}

// A relationship's two representations and its transformation (-1: none).
bool ReadRelationship(const TStepScene& scene, const TStepEntity& e, int32_t& rep1, int32_t& rep2, int32_t& xf)
{
    std::vector<std::string_view> items;
    xf = -1;
    if (e.TypeCode == stComplex) {
        const std::string_view raw = scene.Raw(e);
        const std::string_view rel = ComplexPart(raw, "REPRESENTATION_RELATIONSHIP");
        if (!rel.data()) return false;
        SplitParams(rel, items);
        const std::string_view with = ComplexPart(raw, "REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION");
        if (with.data()) xf = FindEntity(scene, ParseRef(with));
    } else {
        for (uint32_t i = 0; i < e.ParamCount; ++i)
            items.push_back(scene.Param(e, i));
    }
    if (items.size() < 4) return false;
    rep1 = FindEntity(scene, ParseRef(items[2]));
    rep2 = FindEntity(scene, ParseRef(items[3]));
    return IsRepresentation(scene, rep1) || IsRepresentation(scene, rep2);
}

void AddLink(const TStepScene& scene, int32_t relation, int32_t component, TStructure& s,
             const std::vector<std::pair<int32_t, int32_t>>& products)
{
    const TStepEntity* e = scene.At(relation);
    int32_t rep1, rep2, xf;
    if (!e || !ReadRelationship(scene, *e, rep1, rep2, xf)) return;
    const TStepEntity* t = scene.At(xf);
    TLink link{rep2, rep1, IdentityMat4()};
    bool reversed = false;
    if (component >= 0)
        reversed = !OfProduct(products, rep1, component) && OfProduct(products, rep2, component);
    else if (!t)  // a product's shape and the B-rep that holds it: the B-rep is the one placed
        reversed = HasType(scene.At(rep2), stAdvancedBrepShapeRepresentation, 0) &&
                   HasType(scene.At(rep1), stShapeRepresentation, 0);
    if (reversed) std::swap(link.Parent, link.Child);
    if (HasType(t, stItemDefinedTransformation, 4)) {
        const TMat4 m1 = Placement(scene, ResolveParam(scene, *t, 2)),
                    m2 = Placement(scene, ResolveParam(scene, *t, 3));
        link.Transform = reversed ? m1 * InvertAffine(m2) : m2 * InvertAffine(m1);
    }
    if (!IsRepresentation(scene, link.Child)) return;
    if (!IsRepresentation(scene, link.Parent)) link.Parent = -1;
    s.Links.push_back(link);
}

TStructure BuildStructure(const TStepScene& scene)
{
    TStructure s;
    const auto products = RepresentationProducts(scene);
    std::vector<uint8_t> seen(static_cast<size_t>(scene.EntityCount), 0);
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        if (e.TypeCode != stContextDependentShapeRepresentation || e.ParamCount < 1) continue;
        const int32_t relation = ResolveParam(scene, e, 0);
        if (relation < 0 || seen[static_cast<size_t>(relation)]) continue;
        seen[static_cast<size_t>(relation)] = 1;
        AddLink(scene, relation, ComponentOf(scene, e), s, products);
    }
    for (int32_t k = 0; k < scene.EntityCount; ++k) {  // relationships no assembly usage names
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        const bool relation =
            e.TypeCode == stShapeRepresentationRelationship ||
            (e.TypeCode == stComplex && ComplexPart(scene.Raw(e), "REPRESENTATION_RELATIONSHIP").data());
        if (relation && !seen[static_cast<size_t>(k)]) AddLink(scene, k, -1, s, products);
    }
    std::stable_sort(s.Links.begin(), s.Links.end(),
                     [](const TLink& a, const TLink& b) { return a.Parent < b.Parent; });
    s.IsChild.assign(static_cast<size_t>(scene.EntityCount), 0);
    s.OnPath.assign(static_cast<size_t>(scene.EntityCount), 0);
    s.Visited.assign(static_cast<size_t>(scene.EntityCount), 0);
    s.FirstParent.assign(static_cast<size_t>(scene.EntityCount), -1);
    for (const TLink& l : s.Links)
        if (l.Parent >= 0) {
            s.IsChild[static_cast<size_t>(l.Child)] = 1;
            if (s.FirstParent[static_cast<size_t>(l.Child)] < 0) s.FirstParent[static_cast<size_t>(l.Child)] = l.Parent;
        }
    return s;
}

double RepresentationUnit(const TStepScene& scene, int32_t rep, double fileUnit)
{
    const TStepEntity* e = scene.At(rep);
    const double unit = e && e->ParamCount >= 3 ? ContextLengthUnit(scene, ResolveParam(scene, *e, 2)) : 0.0;
    return unit > 0 ? unit : fileUnit;
}

// A placement in `unit` millimetres as one in millimetres.
TMat4 InMillimetres(TMat4 m, double unit)
{
    m.M[12] *= unit, m.M[13] *= unit, m.M[14] *= unit;
    return m;
}

class TWalker {
public:
    TWalker(TStepScene& scene, TStructure& s, double fileUnit) : Scene_(scene), S_(s), FileUnit_(fileUnit) {}

    // Draws rep with its own coordinates mapped by world (millimetres).
    void Visit(int32_t rep, const TMat4& world, int depth)
    {
        if (depth > kMaxDepth || S_.OnPath[static_cast<size_t>(rep)]) return;  // a cycle, or absurd nesting
        if (++Scene_.CollectedIndices > Scene_.CollectedLimit) throw TReaderError("Too much repeated geometry.");
        S_.OnPath[static_cast<size_t>(rep)] = 1;
        S_.Visited[static_cast<size_t>(rep)] = 1;
        const double unit = RepresentationUnit(Scene_, rep, FileUnit_);
        DrawItems(rep, world, unit, depth);
        auto range = std::equal_range(S_.Links.begin(), S_.Links.end(), TLink{rep, 0, {}},
                                      [](const TLink& a, const TLink& b) { return a.Parent < b.Parent; });
        for (auto it = range.first; it != range.second; ++it)
            Visit(it->Child, world * InMillimetres(it->Transform, unit), depth + 1);
        S_.OnPath[static_cast<size_t>(rep)] = 0;
    }

private:
    void DrawItems(int32_t rep, const TMat4& world, double unit, int depth)
    {
        TMat4 local = world;
        for (int i = 0; i < 12; ++i)
            if (i % 4 != 3) local.M[i] *= unit;
        std::copy(local.M, local.M + 16, Scene_.Xform);
        Scene_.UseXform = true;
        ++Scene_.Generation;  // edge points are pooled for this placement
        AddShapeRep(Scene_, rep);
        // Representations mapped into this one.
        const TStepEntity& e = Scene_.Entities[static_cast<size_t>(rep)];
        TStepList items(Scene_);
        OpenList(Scene_.Param(e, 1), items.Items);
        for (std::string_view item : items.Items) {
            const TStepEntity* mapped = Scene_.At(FindEntity(Scene_, ParseRef(item)));
            if (!HasType(mapped, stMappedItem, 3)) continue;
            const TStepEntity* map = Scene_.At(ResolveParam(Scene_, *mapped, 1));
            if (!HasType(map, stRepresentationMap, 2)) continue;
            const int32_t target = ResolveParam(Scene_, *map, 1);
            if (!IsRepresentation(Scene_, target)) continue;
            const TMat4 place = Placement(Scene_, ResolveParam(Scene_, *mapped, 2)) *
                                InvertAffine(Placement(Scene_, ResolveParam(Scene_, *map, 0)));
            Visit(target, world * InMillimetres(place, unit), depth + 1);
        }
    }

    TStepScene& Scene_;
    TStructure& S_;
    double FileUnit_;
};

}  // namespace

void CollectPlacedShapes(TStepScene& scene, double fileUnit)
{
    TStructure s = BuildStructure(scene);
    TWalker walker(scene, s, fileUnit);
    std::vector<uint8_t> rooted(static_cast<size_t>(scene.EntityCount), 0);
    for (const TLink& l : s.Links)  // a component of an assembly the file lacks: placed where it says
        if (l.Parent < 0 && !s.IsChild[static_cast<size_t>(l.Child)] && !rooted[static_cast<size_t>(l.Child)]) {
            rooted[static_cast<size_t>(l.Child)] = 1;
            walker.Visit(l.Child, InMillimetres(l.Transform, RepresentationUnit(scene, l.Child, fileUnit)), 0);
        }
    for (int32_t k = 0; k < scene.EntityCount; ++k)
        if (IsRepresentation(scene, k) && !s.IsChild[static_cast<size_t>(k)] && !rooted[static_cast<size_t>(k)])
            walker.Visit(k, IdentityMat4(), 0);
    // Assemblies that place each other in a loop have no root: climbing from
    // what is left to its parents ends in the loop, which is drawn from there.
    std::vector<uint32_t> climbed(static_cast<size_t>(scene.EntityCount), 0);
    uint32_t climb = 0;
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        if (!IsRepresentation(scene, k) || s.Visited[static_cast<size_t>(k)]) continue;
        int32_t top = k;
        for (++climb; climbed[static_cast<size_t>(top)] != climb && s.FirstParent[static_cast<size_t>(top)] >= 0;) {
            climbed[static_cast<size_t>(top)] = climb;
            top = s.FirstParent[static_cast<size_t>(top)];
        }
        if (!s.Visited[static_cast<size_t>(top)]) walker.Visit(top, IdentityMat4(), 0);
    }
    scene.UseXform = false;
}

}  // namespace voxaro
