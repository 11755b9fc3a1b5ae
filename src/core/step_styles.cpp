// Colours from presentation styles.
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
#include <cstring>
#include <iterator>

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

// The colours DRAUGHTING_PRE_DEFINED_COLOUR names.
struct TNamedColour {
    const char* Name;
    int32_t Rgb;
};
const TNamedColour kPreDefinedColours[] = {{"'red'", 0xFF0000},    {"'green'", 0x00FF00},   {"'blue'", 0x0000FF},
                                           {"'yellow'", 0xFFFF00}, {"'magenta'", 0xFF00FF}, {"'cyan'", 0x00FFFF},
                                           {"'black'", 0x000000},  {"'white'", 0xFFFFFF}};

// A COLOUR_RGB or DRAUGHTING_PRE_DEFINED_COLOUR at pos.
int32_t ReadColour(const TStepScene& scene, int32_t pos)
{
    const TStepEntity* colour = scene.At(pos);
    if (HasType(colour, stColourRgb, 4)) return ReadColourRgb(scene, *colour);
    if (!HasType(colour, stDraughtingPreDefinedColour, 1)) return kNoColor;
    const std::string_view name = Trim(scene.Param(*colour, 0));
    for (const TNamedColour& c : kPreDefinedColours)
        if (name.size() == std::strlen(c.Name) && EqualsNoCase(name.data(), name.data() + name.size(), c.Name))
            return c.Rgb;
    return kNoColor;
}

int32_t FillAreaStyleColor(TStepScene& scene, int32_t pos)
{
    return Cached(scene, pos, 1, [&](std::string_view item) {
        return ReadColour(scene, FindEntity(scene, FollowStyleRef(scene, ParseRef(item), stFillAreaStyleColour, 1)));
    });
}

// A side style's first fill area colour or rendering colour.
int32_t SideStyleColor(TStepScene& scene, int32_t pos)
{
    return Cached(scene, pos, 1, [&](std::string_view item) {
        const int32_t id = ParseRef(item);
        const TStepEntity* rendering = scene.At(FindEntity(scene, id));
        if (HasType(rendering, stSurfaceStyleRendering, 2))
            return ReadColour(scene, ResolveParam(scene, *rendering, 1));
        const int32_t f = FindEntity(scene, FollowStyleRef(scene, id, stSurfaceStyleFillArea, 0));
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
        int32_t found = kNoColor;
        if (HasType(scene.At(a), stPresentationStyleAssignment, 1)) {
            found = AssignmentColor(scene, a);
        } else if (HasType(scene.At(a), stSurfaceStyleUsage, 2)) {  // a usage listed without its assignment
            const int32_t side = ResolveParam(scene, *scene.At(a), 1);
            if (HasType(scene.At(side), stSurfaceSideStyle, 2)) found = SideStyleColor(scene, side);
        }
        if (found >= 0) return found;
    }
    return kNoColor;
}

// Styled items by the identifier they name (their parameter 2), over-riding
// ones first, then in table order; and what INVISIBILITY hides.
void IndexStyledItems(TStepScene& scene)
{
    scene.StyledItems.clear();
    scene.Hidden.clear();
    std::vector<std::pair<int32_t, int32_t>> overriding;
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        if ((e.TypeCode == stStyledItem || e.TypeCode == stOverRidingStyledItem) && e.ParamCount >= 3) {
            const int32_t target = ParseRef(scene.Param(e, 2));
            if (target >= 0) (e.TypeCode == stStyledItem ? scene.StyledItems : overriding).emplace_back(target, k);
        } else if (e.TypeCode == stInvisibility && e.ParamCount >= 1) {
            TStepList items(scene);
            OpenList(scene.Param(e, 0), items.Items);
            for (std::string_view item : items.Items) {
                const int32_t id = ParseRef(item);
                const TStepEntity* styled = scene.At(FindEntity(scene, id));
                const bool isStyle =
                    styled && (styled->TypeCode == stStyledItem || styled->TypeCode == stOverRidingStyledItem);
                const int32_t hidden = isStyle && styled->ParamCount >= 3 ? ParseRef(scene.Param(*styled, 2)) : id;
                if (hidden >= 0) scene.Hidden.push_back(hidden);
            }
        }
    }
    // A stable sort by target keeps the table order within each; over-riding styles go first.
    auto byTarget = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(overriding.begin(), overriding.end(), byTarget);
    std::stable_sort(scene.StyledItems.begin(), scene.StyledItems.end(), byTarget);
    std::vector<std::pair<int32_t, int32_t>> merged;
    std::merge(overriding.begin(), overriding.end(), scene.StyledItems.begin(), scene.StyledItems.end(),
               std::back_inserter(merged), byTarget);
    scene.StyledItems.swap(merged);
    std::sort(scene.Hidden.begin(), scene.Hidden.end());
}

}  // namespace

bool GetFaceColor(TStepScene& scene, int32_t faceId, uint8_t& r, uint8_t& g, uint8_t& b)
{
    r = g = b = 160;
    const int32_t color = ItemColor(scene, faceId);
    if (color < 0) return false;
    r = static_cast<uint8_t>(color >> 16);
    g = static_cast<uint8_t>(color >> 8);
    b = static_cast<uint8_t>(color);
    return true;
}

// The styled items are indexed and the cache laid out at the first question.
void PrepareStyles(TStepScene& scene)
{
    if (scene.ColorCache.size() == static_cast<size_t>(scene.EntityCount)) return;
    scene.ColorCache.assign(static_cast<size_t>(scene.EntityCount), kNotLookedUp);
    IndexStyledItems(scene);
}

bool IsHidden(TStepScene& scene, int32_t id)
{
    PrepareStyles(scene);
    return std::binary_search(scene.Hidden.begin(), scene.Hidden.end(), id);
}

int32_t ItemColor(TStepScene& scene, int32_t faceId)
{
    PrepareStyles(scene);
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
    return color;
}

}  // namespace voxaro
