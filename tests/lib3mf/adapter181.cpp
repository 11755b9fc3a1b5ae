// lib3mf.so for the native tests: the lib3mf 2.x entry points the viewer
// calls, reporting version 2.5.0, carried out by Debian's lib3mf 1.8.1. The
// fault plan (fault_plan.h) can make it misbehave, and it counts the handles
// it gave out, so tests can see that each comes back exactly once.
//
// 1.8.1 resolves colour groups while it reads and keeps three colours per
// triangle; here each mesh with colours gets a colour group of its own, with
// a resource id above every real one and property ids 1..n for its distinct
// colours, as 2.x reports them. 1.8.1 does not check a handle's kind before a
// typed call: the kind of every object handle is kept and checked here.
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "lib3mf181.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace voxaro::test181;

constexpr int32_t kInvalidParam = 2, kInvalidCast = 3, kBufferTooSmall = 4, kGeneric = 5;
constexpr int32_t kIteratorInvalidIndex = 102, kResourceNotFound = 104, kNotAMeshObject = 107;
constexpr int32_t kNotAComponentsObject = 108, kNotABaseMaterialGroup = 111, kNotAColorGroup = 114;
constexpr int32_t kBaseMaterialType181 = 1, kColorType181 = 2;  // 1.8.1's property types
constexpr int32_t kBaseMaterialType = 1, kColorsType = 3;       // 2.x's
// Our colour groups' resource ids: the mesh's own id above this.
constexpr uint32_t kColorGroupBase = 0x40000000u;

enum TKind { kOther, kMesh, kComponents, kColorGroup, kBuildItems, kBuildItem, kComponent };
using TRgba = std::array<uint8_t, 4>;

// A colour group handle is ours, not 1.8.1's.
struct TColorGroupHandle {
    uint32_t Id;
};

struct TState {
    voxaro::testfake::TFaultPlan Plan;
    std::map<void*, TKind> Live;
    int BadReleases = 0;
    std::map<void*, std::string> Errors;
    std::map<uint32_t, std::vector<TRgba>> ColorGroups;  // by resource id; property id = index + 1
};

TState& S()
{
    static TState state;
    return state;
}

const TLib181& L()
{
    return *Lib181();
}

int32_t Injected(void* instance, const char* fn)
{
    S().Errors[instance] = std::string("injected failure in ") + fn;
    uint64_t code = kGeneric;
    S().Plan.Override("code", "", code);
    return static_cast<int32_t>(code);
}

// A failed 1.8.1 call: its message is kept for getlasterror.
int32_t Failed(void* instance)
{
    Dword code = 0;
    const char* message = nullptr;
    if (instance && L().GetLastError(instance, &code, &message) == 0 && message) S().Errors[instance] = message;
    return kGeneric;
}

int32_t Give(void* h, void** out, TKind kind = kOther)
{
    S().Live[h] = kind;
    *out = h;
    return 0;
}

// An object handle, of the kind 1.8.1 says it is.
int32_t GiveObject(void* h, void** out)
{
    Bool mesh = 0, components = 0;
    L().IsMeshObject(h, &mesh);
    L().IsComponentsObject(h, &components);
    return Give(h, out, mesh ? kMesh : components ? kComponents : kOther);
}

bool Is(void* h, TKind kind)
{
    auto it = S().Live.find(h);
    return it != S().Live.end() && it->second == kind;
}

// The colour group of a mesh, and the property id of rgba in it.
uint32_t ColorGroupId(void* mesh)
{
    Dword id = 0;
    L().ResourceGetId(mesh, &id);
    return kColorGroupBase + id;
}

uint32_t ColorPropertyId(uint32_t group, const TRgba& rgba)
{
    std::vector<TRgba>& colours = S().ColorGroups[group];
    for (size_t i = 0; i < colours.size(); ++i)
        if (colours[i] == rgba) return static_cast<uint32_t>(i + 1);
    colours.push_back(rgba);
    return static_cast<uint32_t>(colours.size());
}

uint64_t Told(const char* key, const char* fn, uint64_t value)
{
    S().Plan.Override(key, fn, value);
    return value;
}

#define ENTER(instance)                                                                                                \
    if (!Lib181()) return kGeneric;                                                                                    \
    if (S().Plan.Enter(__func__)) return Injected(instance, __func__)

// A typed call on a handle of another kind.
#define ENTER_AS(instance, kind)                                                                                       \
    ENTER(instance);                                                                                                   \
    if (!Is(instance, kind)) return kInvalidCast

}  // namespace

EXPORT int32_t lib3mf_getlibraryversion(uint32_t* major, uint32_t* minor, uint32_t* micro)
{
    S().Plan.Read(std::getenv("VOXARO_LIB3MF_FAULTS"));
    S().Live.clear();
    S().BadReleases = 0;
    S().Errors.clear();
    S().ColorGroups.clear();
    ENTER(nullptr);
    *major = S().Plan.Version[0];
    *minor = S().Plan.Version[1];
    *micro = S().Plan.Version[2];
    return 0;
}

EXPORT int32_t lib3mf_getlasterror(void* instance, uint32_t size, uint32_t* needed, char* buffer, bool* hasError)
{
    if (!hasError) return kInvalidParam;
    auto it = S().Errors.find(instance);
    *hasError = it != S().Errors.end();
    std::string text = *hasError ? it->second : std::string();
    if (needed) *needed = static_cast<uint32_t>(text.size() + 1);
    if (!buffer) return 0;
    if (size <= text.size()) return kBufferTooSmall;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return 0;
}

EXPORT int32_t lib3mf_release(void* instance)
{
    if (!Lib181()) return kGeneric;
    auto it = S().Live.find(instance);
    if (it == S().Live.end()) {
        ++S().BadReleases;
        return kInvalidCast;
    }
    TKind kind = it->second;
    S().Live.erase(it);
    S().Errors.erase(instance);
    if (kind == kColorGroup)
        delete static_cast<TColorGroupHandle*>(instance);
    else
        L().Release(instance);
    return 0;
}

EXPORT int32_t lib3mf_createmodel(void** model)
{
    ENTER(nullptr);
    void* h = nullptr;
    return L().CreateModel(&h) == 0 ? Give(h, model) : kGeneric;
}

EXPORT int32_t lib3mf_model_queryreader(void* model, const char* readerClass, void** reader)
{
    ENTER(model);
    void* h = nullptr;
    return L().QueryReader(model, readerClass, &h) == 0 ? Give(h, reader) : Failed(model);
}

EXPORT int32_t lib3mf_reader_readfromfile(void* reader, const char* fileName)
{
    ENTER(reader);
    return L().ReadFromFileUtf8(reader, fileName) == 0 ? 0 : Failed(reader);
}

EXPORT int32_t lib3mf_model_getmeshobjects(void* model, void** iterator)
{
    ENTER(model);
    void* h = nullptr;
    return L().GetMeshObjects(model, &h) == 0 ? Give(h, iterator) : Failed(model);
}

EXPORT int32_t lib3mf_resourceiterator_movenext(void* iterator, bool* hasNext)
{
    ENTER(iterator);
    Bool next = 0;
    if (L().MoveNext(iterator, &next) != 0) return Failed(iterator);
    *hasNext = next != 0;
    return 0;
}

EXPORT int32_t lib3mf_meshobjectiterator_getcurrentmeshobject(void* iterator, void** mesh)
{
    ENTER(iterator);
    void* h = nullptr;
    return L().GetCurrent(iterator, &h) == 0 ? Give(h, mesh, kMesh) : Failed(iterator);
}

EXPORT int32_t lib3mf_meshobject_getvertexcount(void* mesh, uint32_t* count)
{
    ENTER_AS(mesh, kMesh);
    Dword n = 0;
    if (L().GetVertexCount(mesh, &n) != 0) return Failed(mesh);
    *count = static_cast<uint32_t>(Told("vertexcount", __func__, n));
    return 0;
}

EXPORT int32_t lib3mf_meshobject_gettrianglecount(void* mesh, uint32_t* count)
{
    ENTER_AS(mesh, kMesh);
    Dword n = 0;
    if (L().GetTriangleCount(mesh, &n) != 0) return Failed(mesh);
    *count = static_cast<uint32_t>(Told("trianglecount", __func__, n));
    return 0;
}

namespace {

// The 2.x array convention over a 1.8.1 count: size query, or a fill when the
// buffer is large enough (an undersized buffer gets nothing and no error).
template <typename Fill>
int32_t ArrayCall(const char* fn, void* mesh, Dword count, uint64_t size, uint64_t* needed, void* buffer, Fill fill)
{
    if (!needed && !buffer) return kInvalidParam;
    uint64_t told = Told("needed", fn, count);
    if (needed) *needed = told;
    if (!buffer || size < count) return 0;
    return fill() == 0 ? 0 : Failed(mesh);
}

}  // namespace

EXPORT int32_t lib3mf_meshobject_getvertices(void* mesh, uint64_t size, uint64_t* needed, void* buffer)
{
    ENTER_AS(mesh, kMesh);
    Dword count = 0;
    if (L().GetVertexCount(mesh, &count) != 0) return Failed(mesh);
    return ArrayCall(__func__, mesh, count, size, needed, buffer, [&] {
        Dword n = 0;
        return count ? L().GetVertices(mesh, buffer, count, &n) : 0;
    });
}

EXPORT int32_t lib3mf_meshobject_gettriangleindices(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER_AS(mesh, kMesh);
    Dword count = 0;
    if (L().GetTriangleCount(mesh, &count) != 0) return Failed(mesh);
    return ArrayCall(__func__, mesh, count, size, needed, buffer, [&] {
        Dword n = 0;
        Result r = count ? L().GetTriangleIndices(mesh, buffer, count, &n) : 0;
        if (r == 0 && count && S().Plan.Has("badindex")) buffer[1] = 0xFFFFFFF0u;
        return r;
    });
}

EXPORT int32_t lib3mf_meshobject_getalltriangleproperties(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER_AS(mesh, kMesh);
    Dword count = 0;
    if (L().GetTriangleCount(mesh, &count) != 0) return Failed(mesh);
    return ArrayCall(__func__, mesh, count, size, needed, buffer, [&] {
        void* handler = nullptr;
        if (L().CreatePropertyHandler(mesh, &handler) != 0) return 1;
        std::vector<Dword> groups(count, 0), indices(count, 0);
        std::vector<TRgba> colours(3 * static_cast<size_t>(count), TRgba{});
        Result r = count ? L().GetBaseMaterialArray(handler, groups.data(), indices.data()) : 0;
        if (r == 0 && count) L().GetColorArray(handler, colours.data());  // untouched without colours
        std::vector<int> types(count, 0);
        for (Dword t = 0; r == 0 && t < count; ++t)
            if (L().GetPropertyType(handler, t, &types[t]) != 0) types[t] = 0;
        L().Release(handler);
        // Fault-plan answers, if any, are the same for every triangle.
        uint64_t resource = 0, property = 0, corner = 0;
        bool toldResource = S().Plan.Override("resourceid", "", resource);
        bool toldProperty = S().Plan.Override("propertyid", "", property);
        bool toldCorner = S().Plan.Override("cornerpid", "", corner);
        const uint32_t colourGroup = ColorGroupId(mesh);
        for (Dword t = 0; r == 0 && t < count; ++t) {
            uint32_t* entry = buffer + 4 * t;
            if (types[t] == kBaseMaterialType181 && groups[t]) {
                entry[0] = groups[t];
                entry[1] = entry[2] = entry[3] = indices[t] + 1;
            } else if (types[t] == kColorType181) {
                entry[0] = colourGroup;
                for (int j = 0; j < 3; ++j)
                    entry[1 + j] = ColorPropertyId(colourGroup, colours[3 * t + j]);
            } else {
                continue;  // left untouched, as 2.x does
            }
            if (toldResource) entry[0] = static_cast<uint32_t>(resource);
            if (toldProperty) entry[1] = static_cast<uint32_t>(property);
            if (toldCorner) entry[2] = entry[3] = static_cast<uint32_t>(corner);
        }
        return r;
    });
}

EXPORT int32_t lib3mf_meshobject_getobjectlevelproperty(void* mesh, uint32_t* resourceId, uint32_t* propertyId,
                                                        bool* hasProperty)
{
    ENTER_AS(mesh, kMesh);
    if (!resourceId || !propertyId || !hasProperty) return kInvalidParam;
    void* handler = nullptr;
    Dword group = 0, index = 0;
    if (L().CreateDefaultPropertyHandler(mesh, &handler) == 0) {
        int type = 0;
        TRgba rgba{};
        if (L().DefaultGetBaseMaterial(handler, &group, &index) != 0) group = index = 0;
        if (!group && L().DefaultGetPropertyType(handler, &type) == 0 && type == kColorType181 &&
            L().DefaultGetColor(handler, 0, rgba.data()) == 0) {
            group = ColorGroupId(mesh);
            index = ColorPropertyId(group, rgba) - 1;
        }
        L().Release(handler);
    }
    *hasProperty = group != 0;
    *resourceId = static_cast<uint32_t>(Told("resourceid", "", group));
    *propertyId = static_cast<uint32_t>(Told("propertyid", "", index + 1));
    return 0;
}

EXPORT int32_t lib3mf_model_getbasematerialgroupbyid(void* model, uint32_t resourceId, void** group)
{
    ENTER(model);
    void* h = nullptr;
    if (S().ColorGroups.count(resourceId)) {
        S().Errors[model] = "not a base material group";
        return kNotABaseMaterialGroup;
    }
    if (resourceId >= kColorGroupBase || L().GetBaseMaterialById(model, resourceId, &h) != 0) {
        Failed(model);
        return kResourceNotFound;
    }
    if (!h) {
        S().Errors[model] = "not a base material group";
        return kNotABaseMaterialGroup;
    }
    return Give(h, group);
}

#ifndef VOXARO_FAKE_WITHOUT_DISPLAYCOLOR
EXPORT int32_t lib3mf_basematerialgroup_getdisplaycolor(void* group, uint32_t propertyId, uint8_t* color)
{
    ENTER(group);
    if (propertyId == 0) return Injected(group, "unknown property id 0");
    Result r = L().GetDisplayColor(group, propertyId - 1, color, color + 1, color + 2, color + 3);
    return r == 0 ? 0 : Failed(group);
}
#endif

EXPORT int32_t lib3mf_model_getpropertytypebyid(void* model, uint32_t resourceId, int32_t* type)
{
    ENTER(model);
    if (!type) return kInvalidParam;
    if (S().ColorGroups.count(resourceId)) return *type = kColorsType, 0;
    if (resourceId >= kColorGroupBase) return kResourceNotFound;
    void* h = nullptr;
    if (L().GetBaseMaterialById(model, resourceId, &h) == 0 && h) {
        L().Release(h);
        return *type = kBaseMaterialType, 0;
    }
    if (L().GetResourceById(model, resourceId, &h) != 0 || !h) return kResourceNotFound;
    L().Release(h);
    return *type = 0, 0;
}

EXPORT int32_t lib3mf_model_getcolorgroupbyid(void* model, uint32_t resourceId, void** group)
{
    ENTER(model);
    if (!group) return kInvalidParam;
    if (!S().ColorGroups.count(resourceId)) {
        S().Errors[model] = "not a colour group";
        return kNotAColorGroup;
    }
    return Give(new TColorGroupHandle{resourceId}, group, kColorGroup);
}

EXPORT int32_t lib3mf_colorgroup_getcolor(void* group, uint32_t propertyId, uint8_t* color)
{
    ENTER_AS(group, kColorGroup);
    const std::vector<TRgba>& colours = S().ColorGroups[static_cast<TColorGroupHandle*>(group)->Id];
    if (propertyId == 0 || propertyId > colours.size()) return Injected(group, "unknown property id");
    std::memcpy(color, colours[propertyId - 1].data(), 4);
    return 0;
}

#ifndef VOXARO_FAKE_WITHOUT_BUILDITEMS
EXPORT int32_t lib3mf_model_getbuilditems(void* model, void** iterator)
{
    ENTER(model);
    void* h = nullptr;
    return L().GetBuildItems(model, &h) == 0 ? Give(h, iterator, kBuildItems) : Failed(model);
}
#endif

EXPORT int32_t lib3mf_builditemiterator_movenext(void* iterator, bool* hasNext)
{
    ENTER_AS(iterator, kBuildItems);
    Bool next = 0;
    if (L().BuildItemMoveNext(iterator, &next) != 0) return Failed(iterator);
    *hasNext = next != 0;
    return 0;
}

EXPORT int32_t lib3mf_builditemiterator_getcurrent(void* iterator, void** item)
{
    ENTER_AS(iterator, kBuildItems);
    void* h = nullptr;
    if (L().BuildItemGetCurrent(iterator, &h) != 0) {
        Failed(iterator);
        return kIteratorInvalidIndex;
    }
    return Give(h, item, kBuildItem);
}

EXPORT int32_t lib3mf_builditem_getobjectresource(void* item, void** object)
{
    ENTER_AS(item, kBuildItem);
    void* h = nullptr;
    return L().BuildItemGetObject(item, &h) == 0 ? GiveObject(h, object) : Failed(item);
}

namespace {

// 2.x's record is the transpose of 1.8.1's.
int32_t Transposed(Result r, const float (&fields181)[3][4], float* fields, void* instance)
{
    if (r != 0) return Failed(instance);
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c)
            fields[3 * row + c] = fields181[c][row];
    return 0;
}

}  // namespace

EXPORT int32_t lib3mf_builditem_getobjecttransform(void* item, float* transform)
{
    ENTER_AS(item, kBuildItem);
    float fields[3][4] = {};
    return Transposed(L().BuildItemGetTransform(item, &fields[0][0]), fields, transform, item);
}

EXPORT int32_t lib3mf_object_ismeshobject(void* object, bool* isMesh)
{
    ENTER(object);
    if (!Is(object, kMesh) && !Is(object, kComponents)) return kInvalidCast;
    *isMesh = Is(object, kMesh);
    return 0;
}

EXPORT int32_t lib3mf_object_iscomponentsobject(void* object, bool* isComponents)
{
    ENTER(object);
    if (!Is(object, kMesh) && !Is(object, kComponents)) return kInvalidCast;
    *isComponents = Is(object, kComponents);
    return 0;
}

EXPORT int32_t lib3mf_resource_getuniqueresourceid(void* resource, uint32_t* id)
{
    ENTER(resource);
    if (!Is(resource, kMesh) && !Is(resource, kComponents)) return kInvalidCast;
    Dword n = 0;
    if (L().ResourceGetId(resource, &n) != 0) return Failed(resource);
    *id = n;
    return 0;
}

EXPORT int32_t lib3mf_componentsobject_getcomponentcount(void* components, uint32_t* count)
{
    ENTER_AS(components, kComponents);
    Dword n = 0;
    if (L().GetComponentCount(components, &n) != 0) return Failed(components);
    *count = static_cast<uint32_t>(Told("componentcount", __func__, n));
    return 0;
}

EXPORT int32_t lib3mf_componentsobject_getcomponent(void* components, uint32_t index, void** component)
{
    ENTER_AS(components, kComponents);
    void* h = nullptr;
    return L().GetComponent(components, index, &h) == 0 ? Give(h, component, kComponent) : Failed(components);
}

EXPORT int32_t lib3mf_component_getobjectresource(void* component, void** object)
{
    ENTER_AS(component, kComponent);
    void* h = nullptr;
    return L().ComponentGetObject(component, &h) == 0 ? GiveObject(h, object) : Failed(component);
}

EXPORT int32_t lib3mf_component_gettransform(void* component, float* transform)
{
    ENTER_AS(component, kComponent);
    float fields[3][4] = {};
    return Transposed(L().ComponentGetTransform(component, &fields[0][0]), fields, transform, component);
}

// For the tests: handles given out and not yet released since the last
// version query, and releases of handles that were not live.
EXPORT void voxaro_fake_handles(int* live, int* badReleases)
{
    *live = static_cast<int>(S().Live.size());
    *badReleases = S().BadReleases;
}
