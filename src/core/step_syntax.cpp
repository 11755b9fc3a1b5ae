// STEP clear text (ISO 10303-21) into a table of entity instances. The reader
// is line-oriented and tolerant rather than complete: it does not track quoted
// strings, reads one instance per accumulated text, and skips only whole
// lines that begin with "/*".
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "decimal.h"
#include "reader_error.h"
#include "step_scene.h"
#include "text_scan.h"

namespace voxaro {

namespace {

struct TStepTypeName {
    const char* Name;
    uint8_t Code;
};

// Exact upper-case names; the first matching row wins.
const TStepTypeName kStepTypeNames[] = {
    {"CARTESIAN_POINT", stCartesianPoint},
    {"DIRECTION", stDirection},
    {"POLY_LOOP", stPolyLoop},
    {"POLYLOOP", stPolyLoop},
    {"EDGE_LOOP", stEdgeLoop},
    {"FACE_OUTER_BOUND", stFaceOuterBound},
    {"FACE_BOUND", stFaceBound},
    {"ADVANCED_FACE", stAdvancedFace},
    {"VERTEX_POINT", stVertexPoint},
    {"EDGE_CURVE", stEdgeCurve},
    {"ORIENTED_EDGE", stOrientedEdge},
    {"CIRCLE", stCircle},
    {"LINE", stLine},
    {"AXIS2_PLACEMENT_3D", stAxis2Placement3D},
    {"COLOUR_RGB", stColourRgb},
    {"STYLED_ITEM", stStyledItem},
    {"OVER_RIDING_STYLED_ITEM", stOverRidingStyledItem},
    {"DRAUGHTING_PRE_DEFINED_COLOUR", stDraughtingPreDefinedColour},
    {"SURFACE_STYLE_RENDERING", stSurfaceStyleRendering},
    {"SURFACE_STYLE_RENDERING_WITH_PROPERTIES", stSurfaceStyleRendering},
    {"INVISIBILITY", stInvisibility},
    {"PRESENTATION_STYLE_ASSIGNMENT", stPresentationStyleAssignment},
    {"SURFACE_STYLE_USAGE", stSurfaceStyleUsage},
    {"SURFACE_SIDE_STYLE", stSurfaceSideStyle},
    {"SURFACE_STYLE_FILL_AREA", stSurfaceStyleFillArea},
    {"FILL_AREA_STYLE", stFillAreaStyle},
    {"FILL_AREA_STYLE_COLOUR", stFillAreaStyleColour},
    {"CONTEXT_DEPENDENT_SHAPE_REPRESENTATION", stContextDependentShapeRepresentation},
    {"ADVANCED_BREP_SHAPE_REPRESENTATION", stAdvancedBrepShapeRepresentation},
    {"MANIFOLD_SOLID_BREP", stManifoldSolidBrep},
    {"CLOSED_SHELL", stClosedShell},
    {"ELLIPSE", stEllipse},
    {"B_SPLINE_CURVE_WITH_KNOTS", stBSplineCurveWithKnots},
    {"BEZIER_CURVE", stBezierCurve},
    {"POLYLINE", stPolyline},
    {"TRIMMED_CURVE", stTrimmedCurve},
    {"SURFACE_CURVE", stSurfaceCurve},
    {"SEAM_CURVE", stSurfaceCurve},
    {"VECTOR", stVector},
    {"PLANE", stPlane},
    {"CYLINDRICAL_SURFACE", stCylindricalSurface},
    {"CONICAL_SURFACE", stConicalSurface},
    {"SPHERICAL_SURFACE", stSphericalSurface},
    {"TOROIDAL_SURFACE", stToroidalSurface},
    {"B_SPLINE_SURFACE_WITH_KNOTS", stBSplineSurfaceWithKnots},
    {"BEZIER_SURFACE", stBezierSurface},
    {"SURFACE_OF_REVOLUTION", stSurfaceOfRevolution},
    {"SURFACE_OF_LINEAR_EXTRUSION", stSurfaceOfLinearExtrusion},
    {"OFFSET_SURFACE", stOffsetSurface},
    {"VERTEX_LOOP", stVertexLoop},
    {"FACE_SURFACE", stFaceSurface},
    {"AXIS1_PLACEMENT", stAxis1Placement},
    {"OPEN_SHELL", stOpenShell},
    {"SHELL_BASED_SURFACE_MODEL", stShellBasedSurfaceModel},
    {"SHAPE_REPRESENTATION", stShapeRepresentation},
    {"MANIFOLD_SURFACE_SHAPE_REPRESENTATION", stAdvancedBrepShapeRepresentation},
    {"FACETED_BREP_SHAPE_REPRESENTATION", stAdvancedBrepShapeRepresentation},
    {"GEOMETRICALLY_BOUNDED_SURFACE_SHAPE_REPRESENTATION", stAdvancedBrepShapeRepresentation},
    {"SHAPE_REPRESENTATION_RELATIONSHIP", stShapeRepresentationRelationship},
    {"MAPPED_ITEM", stMappedItem},
    {"REPRESENTATION_MAP", stRepresentationMap},
    {"BREP_WITH_VOIDS", stBrepWithVoids},
    {"FACETED_BREP", stManifoldSolidBrep},
    {"ITEM_DEFINED_TRANSFORMATION", stItemDefinedTransformation},
    {"NEXT_ASSEMBLY_USAGE_OCCURRENCE", stNextAssemblyUsageOccurrence},
    {"PRODUCT_DEFINITION_SHAPE", stProductDefinitionShape},
    {"SHAPE_DEFINITION_REPRESENTATION", stShapeDefinitionRepresentation},
};

constexpr size_t kLongestTypeName = 50;  // GEOMETRICALLY_BOUNDED_SURFACE_SHAPE_REPRESENTATION

// Calls piece(text) for every top-level parameter of text, trimmed. A comma
// at depth 0 ends a piece (empty pieces included); a last piece is handed out
// only when it is not empty.
template <typename Fn> void ForEachParam(std::string_view text, Fn&& piece)
{
    int64_t depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        else if (c == ',' && depth == 0) {
            piece(Trim(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    std::string_view last = Trim(text.substr(start));
    if (!last.empty()) piece(last);
}

// A decimal integer with an optional sign that fits 32 bits, else -1.
int32_t ParseInstanceId(std::string_view text)
{
    text = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return -1;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        unsigned d = static_cast<unsigned>(text[i] - '0');
        if (d > 9) return -1;
        value = value * 10 + d;
        if (value > INT32_MAX) return -1;
    }
    return negative ? static_cast<int32_t>(-value) : static_cast<int32_t>(value);
}

// The identifier of "#n = ...", -1 when there is none.
int32_t ParseEntityId(std::string_view s)
{
    if (s.size() <= 1 || s[0] != '#') return -1;
    size_t eq = s.find('=');
    if (eq == std::string_view::npos) return -1;
    return ParseInstanceId(s.substr(1, eq - 1));
}

// The type code of the name between the first "=" and the first "(", or -1
// when there is no name (complex instances, or no parameter list at all).
int ParseTypeName(std::string_view s)
{
    size_t eq = s.find('=');
    size_t open = s.find('(');
    if (eq == std::string_view::npos || open == std::string_view::npos || open < eq) return -1;
    std::string_view name = Trim(s.substr(eq + 1, open - eq - 1));
    if (name.empty()) return -1;
    if (name.size() > kLongestTypeName) return stOther;
    char upper[kLongestTypeName];
    for (size_t i = 0; i < name.size(); ++i)
        upper[i] = UpperAscii(name[i]);
    return ClassifyStepType({upper, name.size()});
}

// The text between the first "(" and the parenthesis that closes it; empty
// when there is none or it is never closed.
std::string_view ExtractParams(std::string_view s)
{
    size_t open = s.find('(');
    if (open == std::string_view::npos) return {};
    int64_t depth = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == '(') {
            ++depth;
        } else if (s[i] == ')') {
            if (depth == 1) return s.substr(open + 1, i - open - 1);
            --depth;
        }
    }
    return {};
}

template <typename T> void Append(TPodArray<T>& array, uint64_t count, const T& value)
{
    if (count >= array.size()) {
        size_t grown = std::max<size_t>(array.size() * 2, 64);
        if (array.size() > SIZE_MAX / 4 || !array.Resize(grown)) throw TOutOfMemory();
    }
    array[static_cast<size_t>(count)] = value;
}

// Stores the instance whose text is [begin, end) of the buffer (the ";"
// already dropped); false when the text is not an instance the reader keeps.
bool StoreInstance(TStepScene& scene, size_t begin, size_t end)
{
    if (end - begin > UINT32_MAX || scene.EntityCount == INT32_MAX) return false;
    std::string_view s(scene.Buffer.get() + begin, end - begin);
    int32_t id = ParseEntityId(s);
    if (id <= 0) return false;
    int type = ParseTypeName(s);
    std::string_view params = ExtractParams(s);
    if (type < 0 && params.empty()) return false;

    TStepEntity entity{};
    entity.Text = begin;
    entity.Id = id;
    entity.FirstParam = scene.ParamCount;
    auto addSpan = [&](std::string_view piece) {
        if (scene.ParamCount == UINT32_MAX) throw TOutOfMemory();
        TStepSpan span{static_cast<uint32_t>(piece.data() - s.data()), static_cast<uint32_t>(piece.size())};
        Append(scene.Params, scene.ParamCount++, span);
    };
    if (type >= 0) {
        entity.TypeCode = static_cast<uint8_t>(type);
        ForEachParam(params, [&](std::string_view piece) {
            addSpan(piece);
            ++entity.ParamCount;
        });
    } else {
        entity.TypeCode = stComplex;
        addSpan(params);  // the Raw text; a complex instance has no parameters
    }
    Append(scene.Entities, static_cast<uint64_t>(scene.EntityCount), entity);
    ++scene.EntityCount;
    return true;
}

}  // namespace

uint8_t ClassifyStepType(std::string_view upperName)
{
    for (const TStepTypeName& t : kStepTypeNames)
        if (upperName == t.Name) return t.Code;
    return stOther;
}

// The accumulated instance text is built in place: each trimmed line moves
// down to the write position, joined to the one before by a single space.
// Lines only ever shrink on the way (a break becomes at most one space), so
// the text never overtakes the line being read.
void ParseStepFile(TStepScene& scene)
{
    scene.EntityCount = 0;
    scene.ParamCount = 0;
    char* buf = scene.Buffer.get();
    const char* first = buf;
    const char* end = buf + scene.BufferSize;
    if (end - first >= 3 && std::memcmp(first, "\xEF\xBB\xBF", 3) == 0) first += 3;  // UTF-8 byte-order mark

    bool inData = false;
    size_t textBegin = 0;  // the accumulator is [textBegin, write)
    size_t write = 0;
    ForEachLine(first, end, [&](const char* b, const char* e) {
        Trim(b, e);
        if (e - b >= 2 && b[0] == '/' && b[1] == '*') return;
        if (EqualsNoCase(b, e, "DATA;")) {
            inData = true;
            return;
        }
        if (EqualsNoCase(b, e, "ENDSEC;")) {
            inData = false;
            return;
        }
        if (!inData || b == e) return;
        const bool complete = e[-1] == ';';
        if (write > textBegin) buf[write++] = ' ';
        std::memmove(buf + write, b, static_cast<size_t>(e - b));
        write += static_cast<size_t>(e - b);
        if (!complete) return;
        // The accumulator starts at a non-blank byte and ends with ";".
        if (StoreInstance(scene, textBegin, write - 1))
            textBegin = write;
        else
            write = textBegin;
    });
}

void SplitParams(std::string_view text, std::vector<std::string_view>& list)
{
    list.clear();
    ForEachParam(text, [&](std::string_view piece) { list.push_back(piece); });
}

int32_t ParseRef(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i == text.size() || text[i] != '#') return -1;
    int64_t value = 0;
    for (++i; i < text.size(); ++i) {
        unsigned d = static_cast<unsigned>(text[i] - '0');
        if (d > 9) break;
        value = value * 10 + d;
        if (value > INT32_MAX) return -1;  // no instance can carry such an identifier
    }
    return static_cast<int32_t>(value);
}

double StepStrToFloat(std::string_view text)
{
    text = Trim(text);
    double value = 0;
    if (text.find(',') == std::string_view::npos)
        return ParseDecimal(text.data(), text.data() + text.size(), value) ? value : 0.0;
    std::string copy(text);
    std::replace(copy.begin(), copy.end(), ',', '.');
    return ParseDecimal(copy.data(), copy.data() + copy.size(), value) ? value : 0.0;
}

void OpenList(std::string_view param, std::vector<std::string_view>& items)
{
    param = Trim(param);
    if (param.size() > 1 && param[0] == '(') param = param.substr(1, param.size() - 2);
    SplitParams(param, items);
}

void TStepIdIndex::Build(const TPodArray<TStepEntity>& entities, int32_t count)
{
    MaxId = -1;
    LongestProbe_ = 0;
    Dense_.clear();
    HashIds_.clear();
    HashPos_.clear();
    for (int32_t k = 0; k < count; ++k)
        MaxId = std::max(MaxId, entities[static_cast<size_t>(k)].Id);
    if (MaxId < 0) return;
    if (static_cast<uint64_t>(MaxId) + 1 <= 4 * static_cast<uint64_t>(count) + 1024) {
        Dense_.assign(static_cast<size_t>(MaxId) + 1, -1);
        for (int32_t k = 0; k < count; ++k)
            Dense_[static_cast<size_t>(entities[static_cast<size_t>(k)].Id)] = k;
        return;
    }
    size_t capacity = 16;
    int bits = 4;
    while (capacity < 2 * static_cast<size_t>(count)) {
        capacity *= 2;
        ++bits;
    }
    HashMask_ = static_cast<uint32_t>(capacity - 1);
    HashShift_ = 64 - bits;
    HashIds_.assign(capacity, -1);
    HashPos_.assign(capacity, -1);
    for (int32_t k = 0; k < count; ++k) {
        int32_t id = entities[static_cast<size_t>(k)].Id;
        uint32_t slot = Slot(id);
        uint32_t probes = 1;
        while (HashIds_[slot] != -1 && HashIds_[slot] != id) {
            slot = (slot + 1) & HashMask_;
            ++probes;
        }
        LongestProbe_ = std::max(LongestProbe_, probes);
        HashIds_[slot] = id;
        HashPos_[slot] = k;  // a later instance with the same identifier wins
    }
}

// The high bits of a 64-bit Fibonacci product: every bit of the identifier
// reaches them, so identifiers sharing their low bits (multiples of 65536,
// say) still spread over the whole table.
uint32_t TStepIdIndex::Slot(int32_t id) const
{
    return static_cast<uint32_t>((static_cast<uint64_t>(static_cast<uint32_t>(id)) * 0x9E3779B97F4A7C15ull) >>
                                 HashShift_);
}

int32_t TStepIdIndex::Find(int32_t id) const
{
    if (id < 0 || id > MaxId) return -1;
    if (!Dense_.empty()) return Dense_[static_cast<size_t>(id)];
    if (HashIds_.empty()) return -1;
    uint32_t slot = Slot(id);
    while (HashIds_[slot] != -1) {
        if (HashIds_[slot] == id) return HashPos_[slot];
        slot = (slot + 1) & HashMask_;
    }
    return -1;
}

void BuildIdIndex(TStepScene& scene)
{
    scene.IdIndex.Build(scene.Entities, scene.EntityCount);
}

// Every identifier in the table has its slot, so a miss means no instance
// carries it: no scan of the table is needed.
int32_t FindEntity(const TStepScene& scene, int32_t id)
{
    return scene.IdIndex.Find(id);
}

int32_t ResolveParam(const TStepScene& scene, const TStepEntity& e, uint32_t k)
{
    if (k >= e.ParamCount) return -1;
    return FindEntity(scene, ParseRef(scene.Param(e, k)));
}

TStepScene::TStepScene()
{
    MatIdentity(Xform);
}

std::string_view TStepScene::Param(const TStepEntity& e, uint32_t k) const
{
    const TStepSpan& span = Params[e.FirstParam + k];
    return {Buffer.get() + e.Text + span.Offset, span.Length};
}

const TStepEntity* TStepScene::At(int32_t pos) const
{
    return pos >= 0 && pos < EntityCount ? &Entities[static_cast<size_t>(pos)] : nullptr;
}

std::vector<std::string_view> TStepListPool::Take()
{
    if (Free_.empty()) return {};
    std::vector<std::string_view> list = std::move(Free_.back());
    Free_.pop_back();
    return list;
}

void TStepListPool::Give(std::vector<std::string_view>&& list)
{
    list.clear();
    Free_.push_back(std::move(list));
}

}  // namespace voxaro
