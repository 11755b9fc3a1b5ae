// Face colours from presentation styles and placements of assembly
// components.
//
// A face's colour is found through the chain STYLED_ITEM -> PRESENTATION_
// STYLE_ASSIGNMENT -> SURFACE_STYLE_USAGE -> SURFACE_SIDE_STYLE -> SURFACE_
// STYLE_FILL_AREA -> FILL_AREA_STYLE -> FILL_AREA_STYLE_COLOUR -> COLOUR_RGB,
// depth first, the first colour found winning. Only styled items that name
// the face itself count. The styled items are indexed by the identifier they
// name, and the colour each style entity leads to is cached, so every list of
// the file is walked at most once however many faces share a style.
#include <algorithm>
#include <cmath>

#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr int32_t kNotLookedUp = -2, kNoColor = -1;

// Parameter k of the instance id when it has type code and more than k
// parameters, read as a reference; else -1.
int32_t FollowStyleRef(const TStepScene& scene, int32_t id, uint8_t code, uint32_t k)
{
    const TStepEntity* e = scene.At(FindEntity(scene, id));
    if (!HasType(e, code, k + 1)) return -1;
    return ParseRef(scene.Param(*e, k));
}

// A colour component 0..1 as a byte, rounded to nearest with ties to even;
// components outside 0..1 are held at the ends.
uint8_t ColorByte(std::string_view text)
{
    return StepColorByte(StepStrToFloat(text) * 255.0);
}

int32_t ReadColourRgb(const TStepScene& scene, const TStepEntity& e)
{
    return ColorByte(scene.Param(e, 1)) * 65536 + ColorByte(scene.Param(e, 2)) * 256 + ColorByte(scene.Param(e, 3));
}

// The colour a style entity at pos leads to, cached per table position.
// walk(items) searches the entity's list of the next level.
template <typename Walk> int32_t Cached(TStepScene& scene, int32_t pos, uint32_t listParam, Walk&& walk)
{
    int32_t& slot = scene.ColorCache[static_cast<size_t>(pos)];
    if (slot != kNotLookedUp) return slot;
    slot = kNoColor;  // also guards against a chain that leads back here
    TStepList items(scene);
    OpenList(scene.Param(scene.Entities[static_cast<size_t>(pos)], listParam), items.Items);
    int32_t found = kNoColor;
    for (std::string_view item : items.Items)
        if ((found = walk(item)) >= 0) break;
    slot = found;
    return found;
}

int32_t FillAreaStyleColor(TStepScene& scene, int32_t pos)
{
    return Cached(scene, pos, 1, [&](std::string_view item) {
        const int32_t k = FollowStyleRef(scene, ParseRef(item), stFillAreaStyleColour, 1);
        const TStepEntity* colour = scene.At(FindEntity(scene, k));
        return HasType(colour, stColourRgb, 4) ? ReadColourRgb(scene, *colour) : kNoColor;
    });
}

int32_t SideStyleColor(TStepScene& scene, int32_t pos)
{
    return Cached(scene, pos, 1, [&](std::string_view item) {
        const int32_t f = FindEntity(scene, FollowStyleRef(scene, ParseRef(item), stSurfaceStyleFillArea, 0));
        return HasType(scene.At(f), stFillAreaStyle, 2) ? FillAreaStyleColor(scene, f) : kNoColor;
    });
}

int32_t AssignmentColor(TStepScene& scene, int32_t pos)
{
    return Cached(scene, pos, 0, [&](std::string_view item) {
        const int32_t u = FindEntity(scene, FollowStyleRef(scene, ParseRef(item), stSurfaceStyleUsage, 1));
        return HasType(scene.At(u), stSurfaceSideStyle, 2) ? SideStyleColor(scene, u) : kNoColor;
    });
}

int32_t StyledItemColor(TStepScene& scene, const TStepEntity& styled)
{
    TStepList styles(scene);
    OpenList(scene.Param(styled, 1), styles.Items);
    for (std::string_view item : styles.Items) {
        const int32_t a = FindEntity(scene, ParseRef(item));
        if (!HasType(scene.At(a), stPresentationStyleAssignment, 1)) continue;
        const int32_t found = AssignmentColor(scene, a);
        if (found >= 0) return found;
    }
    return kNoColor;
}

// Styled items by the identifier they name (their parameter 2), in table order.
void IndexStyledItems(TStepScene& scene)
{
    scene.StyledItems.clear();
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        if (e.TypeCode == stStyledItem && e.ParamCount >= 3) {
            const int32_t target = ParseRef(scene.Param(e, 2));
            if (target >= 0) scene.StyledItems.emplace_back(target, k);
        }
    }
    std::sort(scene.StyledItems.begin(), scene.StyledItems.end());
}

// After REPRESENTATION_RELATIONSHIP( : the third attribute, as a reference.
int32_t ThirdAttribute(std::string_view text)
{
    int64_t depth = 0;
    int attribute = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) return attribute == 2 ? ParseRef(text.substr(start, i - start)) : -1;
            --depth;
        } else if (c == ',' && depth == 0) {
            if (attribute == 2) return ParseRef(text.substr(start, i - start));
            ++attribute;
            start = i + 1;
        }
    }
    return -1;
}

}  // namespace

bool GetFaceColor(TStepScene& scene, int32_t faceId, uint8_t& r, uint8_t& g, uint8_t& b)
{
    r = g = b = 160;
    if (scene.ColorCache.size() != static_cast<size_t>(scene.EntityCount)) {
        scene.ColorCache.assign(static_cast<size_t>(scene.EntityCount), kNotLookedUp);
        IndexStyledItems(scene);
    }
    // The cache slot of an identifier is that of the instance FindEntity gives for it.
    const int32_t slotPos = FindEntity(scene, faceId);
    int32_t color = slotPos >= 0 ? scene.ColorCache[static_cast<size_t>(slotPos)] : kNotLookedUp;
    if (color == kNotLookedUp) {
        color = kNoColor;
        auto range = std::equal_range(scene.StyledItems.begin(), scene.StyledItems.end(), std::make_pair(faceId, 0),
                                      [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto it = range.first; it != range.second && color < 0; ++it)
            color = StyledItemColor(scene, scene.Entities[static_cast<size_t>(it->second)]);
        if (slotPos >= 0) scene.ColorCache[static_cast<size_t>(slotPos)] = color;
    }
    if (color < 0) return false;
    r = static_cast<uint8_t>(color >> 16);
    g = static_cast<uint8_t>(color >> 8);
    b = static_cast<uint8_t>(color);
    return true;
}

int32_t FindRelationshipRep(std::string_view raw)
{
    static const char kName[] = "REPRESENTATION_RELATIONSHIP(";
    const char* at = FindNoCase(raw.data(), raw.data() + raw.size(), kName);
    if (!at) return -1;
    const size_t from = static_cast<size_t>(at - raw.data()) + sizeof kName - 1;
    return ThirdAttribute(raw.substr(from));
}

int32_t FindTransformRef(std::string_view raw)
{
    static const char kName[] = "WITH_TRANSFORMATION(";
    const char* at = FindNoCase(raw.data(), raw.data() + raw.size(), kName);
    if (!at) return -1;
    size_t i = static_cast<size_t>(at - raw.data()) + sizeof kName - 1;
    while (i < raw.size() && IsBlank(raw[i]))
        ++i;
    if (i == raw.size() || raw[i] != '#' || i + 1 == raw.size()) return -1;
    if (static_cast<unsigned>(raw[i + 1] - '0') > 9) return -1;
    return ParseRef(raw.substr(i));
}

// Each CONTEXT_DEPENDENT_SHAPE_REPRESENTATION whose relationship names a
// representation (rep_1) and an item-defined transformation between two
// placements yields the transform M2 * inverse(M1) for that representation.
void BuildAssemblyXforms(TStepScene& scene)
{
    scene.SRXforms.clear();
    scene.SRXforms.reserve(16);
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        if (e.TypeCode != stContextDependentShapeRepresentation || e.ParamCount < 1) continue;
        const TStepEntity* relation = scene.At(ResolveParam(scene, e, 0));
        if (!relation || relation->TypeCode != stComplex) continue;
        const int32_t rep = FindRelationshipRep(scene.Raw(*relation));
        const int32_t xf = FindTransformRef(scene.Raw(*relation));
        if (rep < 0 || xf < 0) continue;
        const TStepEntity* transformation = scene.At(FindEntity(scene, xf));
        if (!transformation || transformation->ParamCount < 4) continue;
        double m1[16], m2[16], inverse[16];
        if (!ReadPlacement(scene, ResolveParam(scene, *transformation, 2), m1) ||
            !ReadPlacement(scene, ResolveParam(scene, *transformation, 3), m2))
            continue;
        TStepSRXform x;
        x.RepId = rep;
        MatInvertRigid(m1, inverse);
        MatMultiply(m2, inverse, x.Matrix);
        scene.SRXforms.push_back(x);
    }
    // The first transform of each representation, found by binary search.
    scene.FirstXformOfRep.clear();
    for (size_t i = 0; i < scene.SRXforms.size(); ++i)
        scene.FirstXformOfRep.emplace_back(scene.SRXforms[i].RepId, static_cast<int32_t>(i));
    std::sort(scene.FirstXformOfRep.begin(), scene.FirstXformOfRep.end());
}

bool FindXform(const TStepScene& scene, int32_t repId, TStepMatrix m)
{
    MatIdentity(m);
    auto it = std::lower_bound(scene.FirstXformOfRep.begin(), scene.FirstXformOfRep.end(), std::make_pair(repId, 0));
    if (it == scene.FirstXformOfRep.end() || it->first != repId) return false;
    const double* found = scene.SRXforms[static_cast<size_t>(it->second)].Matrix;
    std::copy(found, found + 16, m);
    return true;
}

}  // namespace voxaro
