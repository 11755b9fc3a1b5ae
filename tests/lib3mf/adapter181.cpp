// lib3mf.so for the native tests: the lib3mf 2.x entry points the viewer
// calls, reporting version 2.5.0, carried out by Debian's lib3mf 1.8.1. The
// fault plan (fault_plan.h) can make it misbehave, and it counts the handles
// it gave out, so tests can see that each comes back exactly once.
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
constexpr int32_t kResourceNotFound = 104, kNotABaseMaterialGroup = 111;

struct TState {
    voxaro::testfake::TFaultPlan Plan;
    std::set<void*> Live;
    int BadReleases = 0;
    std::map<void*, std::string> Errors;
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
    return kGeneric;
}

// A failed 1.8.1 call: its message is kept for getlasterror.
int32_t Failed(void* instance)
{
    Dword code = 0;
    const char* message = nullptr;
    if (instance && L().GetLastError(instance, &code, &message) == 0 && message) S().Errors[instance] = message;
    return kGeneric;
}

int32_t Give(void* h, void** out)
{
    S().Live.insert(h);
    *out = h;
    return 0;
}

uint64_t Told(const char* key, const char* fn, uint64_t value)
{
    S().Plan.Override(key, fn, value);
    return value;
}

#define ENTER(instance)                                                                                                \
    if (!Lib181()) return kGeneric;                                                                                    \
    if (S().Plan.Enter(__func__)) return Injected(instance, __func__)

}  // namespace

EXPORT int32_t lib3mf_getlibraryversion(uint32_t* major, uint32_t* minor, uint32_t* micro)
{
    S().Plan.Read(std::getenv("VOXARO_LIB3MF_FAULTS"));
    S().Live.clear();
    S().BadReleases = 0;
    S().Errors.clear();
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
    if (S().Live.erase(instance) == 0) {
        ++S().BadReleases;
        return kInvalidCast;
    }
    S().Errors.erase(instance);
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
    return L().GetCurrent(iterator, &h) == 0 ? Give(h, mesh) : Failed(iterator);
}

EXPORT int32_t lib3mf_meshobject_getvertexcount(void* mesh, uint32_t* count)
{
    ENTER(mesh);
    Dword n = 0;
    if (L().GetVertexCount(mesh, &n) != 0) return Failed(mesh);
    *count = static_cast<uint32_t>(Told("vertexcount", __func__, n));
    return 0;
}

EXPORT int32_t lib3mf_meshobject_gettrianglecount(void* mesh, uint32_t* count)
{
    ENTER(mesh);
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
    ENTER(mesh);
    Dword count = 0;
    if (L().GetVertexCount(mesh, &count) != 0) return Failed(mesh);
    return ArrayCall(__func__, mesh, count, size, needed, buffer, [&] {
        Dword n = 0;
        return count ? L().GetVertices(mesh, buffer, count, &n) : 0;
    });
}

EXPORT int32_t lib3mf_meshobject_gettriangleindices(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER(mesh);
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
    ENTER(mesh);
    Dword count = 0;
    if (L().GetTriangleCount(mesh, &count) != 0) return Failed(mesh);
    return ArrayCall(__func__, mesh, count, size, needed, buffer, [&] {
        void* handler = nullptr;
        if (L().CreatePropertyHandler(mesh, &handler) != 0) return 1;
        std::vector<Dword> groups(count, 0), indices(count, 0);
        Result r = count ? L().GetBaseMaterialArray(handler, groups.data(), indices.data()) : 0;
        L().Release(handler);
        // Fault-plan answers, if any, are the same for every triangle.
        uint64_t resource = 0, property = 0, corner = 0;
        bool toldResource = S().Plan.Override("resourceid", "", resource);
        bool toldProperty = S().Plan.Override("propertyid", "", property);
        bool toldCorner = S().Plan.Override("cornerpid", "", corner);
        for (Dword t = 0; r == 0 && t < count; ++t) {
            if (!groups[t]) continue;  // left untouched, as 2.x does
            uint32_t* entry = buffer + 4 * t;
            entry[0] = static_cast<uint32_t>(toldResource ? resource : groups[t]);
            entry[1] = static_cast<uint32_t>(toldProperty ? property : indices[t] + 1);
            entry[2] = entry[3] = static_cast<uint32_t>(toldCorner ? corner : entry[1]);
        }
        return r;
    });
}

EXPORT int32_t lib3mf_meshobject_getobjectlevelproperty(void* mesh, uint32_t* resourceId, uint32_t* propertyId,
                                                        bool* hasProperty)
{
    ENTER(mesh);
    if (!resourceId || !propertyId || !hasProperty) return kInvalidParam;
    void* handler = nullptr;
    Dword group = 0, index = 0;
    if (L().CreateDefaultPropertyHandler(mesh, &handler) == 0) {
        if (L().DefaultGetBaseMaterial(handler, &group, &index) != 0) group = index = 0;
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
    if (L().GetBaseMaterialById(model, resourceId, &h) != 0) {
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

// For the tests: handles given out and not yet released since the last
// version query, and releases of handles that were not live.
EXPORT void voxaro_fake_handles(int* live, int* badReleases)
{
    *live = static_cast<int>(S().Live.size());
    *badReleases = S().BadReleases;
}
