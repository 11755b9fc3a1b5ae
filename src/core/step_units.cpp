// Length units of representation contexts, as millimetres per unit: an
// SI_UNIT (METRE with its prefix) or a CONVERSION_BASED_UNIT (INCH, or a
// 'METRE' written as a thousand millimetres) through its measure with unit.
// Everything the reader draws is in millimetres.
#include <cmath>
#include <cstring>

#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr int kMaxUnitDepth = 8;

struct TPrefix {
    const char* Name;
    double Factor;
};
const TPrefix kSiPrefixes[] = {{"EXA", 1e18},  {"PETA", 1e15},  {"TERA", 1e12},   {"GIGA", 1e9},
                               {"MEGA", 1e6},  {"KILO", 1e3},   {"HECTO", 1e2},   {"DECA", 1e1},
                               {"DECI", 1e-1}, {"CENTI", 1e-2}, {"MILLI", 1e-3},  {"MICRO", 1e-6},
                               {"NANO", 1e-9}, {"PICO", 1e-12}, {"FEMTO", 1e-15}, {"ATTO", 1e-18}};

double SiLengthFactor(std::string_view params)
{
    std::vector<std::string_view> items;
    SplitParams(params, items);
    if (items.size() < 2 || !FindNoCase(items[1].data(), items[1].data() + items[1].size(), ".METRE.")) return 0;
    const std::string_view prefix = Trim(items[0]);
    for (const TPrefix& p : kSiPrefixes)
        if (prefix.size() == std::strlen(p.Name) + 2 &&
            FindNoCase(prefix.data(), prefix.data() + prefix.size(), p.Name))
            return 1000 * p.Factor;
    return 1000;  // no prefix: metres
}

double UnitFactor(const TStepScene& scene, int32_t pos, int depth);

// LENGTH_MEASURE_WITH_UNIT(LENGTH_MEASURE(x), #unit), also as a complex instance.
double MeasureFactor(const TStepScene& scene, int32_t pos, int depth)
{
    const TStepEntity* e = scene.At(pos);
    if (!e) return 0;
    std::string_view value;
    int32_t unit = -1;
    if (e->TypeCode == stComplex) {
        const std::string_view raw = scene.Raw(*e);
        value = ComplexPart(raw, "LENGTH_MEASURE");
        if (!value.data()) return 0;
        const size_t hash = raw.find('#', static_cast<size_t>(value.data() + value.size() - raw.data()));
        if (hash != std::string_view::npos) unit = FindEntity(scene, ParseRef(raw.substr(hash)));
    } else if (e->ParamCount >= 2) {
        value = ComplexPart(scene.Param(*e, 0), "LENGTH_MEASURE");
        unit = ResolveParam(scene, *e, 1);
    }
    if (!value.data()) return 0;
    const double factor = StepStrToFloat(value) * UnitFactor(scene, unit, depth + 1);
    return std::isfinite(factor) && factor > 0 ? factor : 0;
}

// Millimetres per unit of the LENGTH_UNIT at pos; 0 when it is not one.
double UnitFactor(const TStepScene& scene, int32_t pos, int depth)
{
    const TStepEntity* e = scene.At(pos);
    if (!e || e->TypeCode != stComplex || depth > kMaxUnitDepth) return 0;
    const std::string_view raw = scene.Raw(*e);
    if (!ComplexPart(raw, "LENGTH_UNIT").data()) return 0;
    const std::string_view si = ComplexPart(raw, "SI_UNIT");
    if (si.data()) return SiLengthFactor(si);
    const std::string_view converted = ComplexPart(raw, "CONVERSION_BASED_UNIT");
    if (!converted.data()) return 0;
    std::vector<std::string_view> items;
    SplitParams(converted, items);
    return items.size() >= 2 ? MeasureFactor(scene, FindEntity(scene, ParseRef(items[1])), depth) : 0;
}

}  // namespace

double ContextLengthUnit(const TStepScene& scene, int32_t contextPos)
{
    const TStepEntity* e = scene.At(contextPos);
    if (!e || e->TypeCode != stComplex) return 0;
    const std::string_view units = ComplexPart(scene.Raw(*e), "GLOBAL_UNIT_ASSIGNED_CONTEXT");
    if (!units.data()) return 0;
    std::vector<std::string_view> items;
    OpenList(units, items);
    for (std::string_view item : items) {
        const double f = UnitFactor(scene, FindEntity(scene, ParseRef(item)), 0);
        if (f > 0) return f;
    }
    return 0;
}

double FileLengthUnit(const TStepScene& scene)
{
    for (int32_t k = 0; k < scene.EntityCount; ++k) {
        const TStepEntity& e = scene.Entities[static_cast<size_t>(k)];
        if (e.TypeCode != stComplex) continue;
        const double f = ContextLengthUnit(scene, k);
        if (f > 0) return f;
    }
    return 1;
}

}  // namespace voxaro
