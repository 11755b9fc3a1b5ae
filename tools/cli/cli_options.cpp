#include "cli_options.h"

#include <cmath>
#include <cstring>

#include "decimal.h"

namespace voxaro {

namespace {

// Whole text as a decimal integer in [min, max], digits only.
bool ParseInt(const char* text, int64_t min, int64_t max, int64_t& value)
{
    if (!*text) return false;
    value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > max) return false;
    }
    return value >= min;
}

bool ParseSide(const char* text, int& side)
{
    int64_t v = 0;
    if (!ParseInt(text, 1, kMaxPictureSide, v)) return false;
    side = static_cast<int>(v);
    return true;
}

bool ParseNumber(const char* text, double min, double max, double& value)
{
    return ParseDecimal(text, text + std::strlen(text), value) && value >= min && value <= max;
}

enum class TScope : uint8_t { Any, Model, GCode };

// One option of the render command: a switch when Expected is null, else it
// takes a value, which Apply checks.
struct TRenderOption {
    const char* Name;
    TScope Scope;
    const char* Expected;  // the values it takes, for the error message
    bool (*Apply)(TRenderOptions& o, const char* value);
};

bool ApplySize(TRenderOptions& o, const char* value)
{
    const char* x = std::strchr(value, 'x');
    if (!x) return false;
    const std::string width(value, x);
    return ParseSide(width.c_str(), o.Width) && ParseSide(x + 1, o.Height);
}

bool ApplyMode(TRenderOptions& o, const char* value)
{
    int64_t v = 0;
    if (!ParseInt(value, 0, 2, v)) return false;
    o.Mode = static_cast<uint8_t>(v);
    return true;
}

bool ApplyLayer(TRenderOptions& o, const char* value)
{
    int64_t v = -1;
    if (std::strcmp(value, "all") != 0 && !ParseInt(value, 0, INT32_MAX, v)) return false;
    o.Layer = static_cast<int32_t>(v);
    return true;
}

// As the width slider: 0.1 to 4.0 mm in steps of 0.1.
bool ApplyLineWidth(TRenderOptions& o, const char* value)
{
    double mm = 0;
    if (!ParseNumber(value, 0.1, 4.0, mm)) return false;
    o.LineWidth = std::lround(mm * 10.0) * 0.1;
    return true;
}

bool ApplyView(TRenderOptions& o, const char* value)
{
    static const struct {
        const char* Name;
        TViewPreset Preset;
    } kPresets[] = {{"top", TViewPreset::Top}, {"front", TViewPreset::Front}, {"side", TViewPreset::Side}};
    for (const auto& p : kPresets)
        if (!std::strcmp(value, p.Name)) {
            o.Preset = p.Preset;
            return true;
        }
    return false;
}

// The switches: a field of the options or one of the panel's check boxes.
template <bool TRenderOptions::*Field> bool Switch(TRenderOptions& o, const char*)
{
    o.*Field = true;
    return true;
}
template <bool TGCodeViewOptions::*Box, bool Checked> bool CheckBox(TRenderOptions& o, const char*)
{
    o.View.*Box = Checked;
    return true;
}

using TView = TGCodeViewOptions;
const TRenderOption kRenderOptions[] = {
    {"--size", TScope::Any, "WIDTHxHEIGHT, 1 to 16384 pixels each", ApplySize},
    {"--thumb", TScope::Any, nullptr, Switch<&TRenderOptions::Thumb>},
    {"--dark", TScope::Model, nullptr, Switch<&TRenderOptions::Dark>},
    {"--mode", TScope::Model, "0 (solid), 1 (solid with wires) or 2 (wires)", ApplyMode},
    {"--layer", TScope::GCode, "a layer number from 0, or all", ApplyLayer},
    {"--line-width", TScope::GCode, "0.1 to 4.0 (mm)", ApplyLineWidth},
    {"--view", TScope::GCode, "top, front or side", ApplyView},
    {"--travel", TScope::GCode, nullptr, CheckBox<&TView::ShowTravel, true>},
    {"--no-print", TScope::GCode, nullptr, CheckBox<&TView::ShowPrint, false>},
    {"--support", TScope::GCode, nullptr, CheckBox<&TView::ShowSupport, true>},
    {"--color-by-layer", TScope::GCode, nullptr, CheckBox<&TView::ColorByLayer, true>},
    {"--no-lighting", TScope::GCode, nullptr, CheckBox<&TView::Lighting, false>},
    {"--axes", TScope::GCode, nullptr, CheckBox<&TView::Axes, true>},
    {"--edges", TScope::GCode, nullptr, CheckBox<&TView::Edges, true>},
};

const TRenderOption* FindRenderOption(const char* name)
{
    for (const TRenderOption& option : kRenderOptions)
        if (!std::strcmp(option.Name, name)) return &option;
    return nullptr;
}

std::string BadValue(const char* name, const char* value, const char* expected)
{
    return std::string("bad value for ") + name + ": '" + value + "' (expected " + expected + ")";
}

}  // namespace

bool ParseRenderOptions(int argc, char** argv, int first, TRenderOptions& o, std::string& error)
{
    for (int i = first; i < argc; ++i) {
        const TRenderOption* option = FindRenderOption(argv[i]);
        if (!option) {
            error = std::string("unknown option '") + argv[i] + "'";
            return false;
        }
        const char* value = nullptr;
        if (option->Expected) {
            if (i + 1 >= argc) {
                error = std::string(option->Name) + " needs a value: " + option->Expected;
                return false;
            }
            value = argv[++i];
        }
        if (!option->Apply(o, value)) {
            error = BadValue(option->Name, value, option->Expected);
            return false;
        }
        std::string& scoped = option->Scope == TScope::Model ? o.ModelOption : o.GCodeOption;
        if (option->Scope != TScope::Any && scoped.empty()) scoped = option->Name;
    }
    return true;
}

bool ParseThumbnailOptions(int argc, char** argv, int first, TThumbnailOptions& o, std::string& error)
{
    for (int i = first; i < argc; ++i) {
        const bool size = !std::strcmp(argv[i], "--size");
        if (!size && std::strcmp(argv[i], "--timeout") != 0) {
            error = std::string("unknown option '") + argv[i] + "'";
            return false;
        }
        const char* expected = size ? "a side of 1 to 16384 pixels" : "seconds, 0 for no limit";
        if (i + 1 >= argc) {
            error = std::string(argv[i]) + " needs a value: " + expected;
            return false;
        }
        const char* value = argv[++i];
        const bool ok = size ? ParseSide(value, o.Size) : ParseNumber(value, 0.0, 86400.0, o.Timeout);
        if (!ok) {
            error = BadValue(argv[i - 1], value, expected);
            return false;
        }
    }
    return true;
}

std::string MisfitOption(const TRenderOptions& o, bool gcode)
{
    const std::string& other = gcode ? o.ModelOption : o.GCodeOption;
    if (!other.empty()) return other + (gcode ? " is for models, not G-code files" : " is for G-code files only");
    const std::string& own = gcode ? o.GCodeOption : o.ModelOption;
    if (o.Thumb && !own.empty()) return own + " does not go with --thumb: the thumbnail has fixed settings";
    return {};
}

}  // namespace voxaro
