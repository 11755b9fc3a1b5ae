// lib3mf.dll for the Wine tests of the real plug-in: the lib3mf 2.x entry
// points the viewer calls, reporting version 2.5.0, over a small model of its
// own (the file named is only opened, never read): a red cube with an
// object-level colour and no triangle properties, and a pyramid whose
// triangles are green and blue. Its build is empty, so the viewer draws each
// mesh object once. The fault plan (fault_plan.h) can make it misbehave.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "fault_plan.h"

#define EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr int32_t kInvalidParam = 2, kInvalidCast = 3, kBufferTooSmall = 4, kGeneric = 5;
constexpr int32_t kIteratorInvalidIndex = 102, kResourceNotFound = 104, kNotAColorGroup = 114;
constexpr int32_t kBaseMaterialType = 1;
constexpr uint32_t kGroupId = 1;  // the one base-material group: red, green, blue

enum TKind { kModel, kReader, kIterator, kMesh, kGroup, kBuildIterator };
struct THandle {
    TKind Kind;
    int Index;  // iterator: current object (-1 before the first); mesh: which object
};

struct TObject {
    std::vector<float> Positions;
    std::vector<uint32_t> Triangles;
    uint32_t Material;                  // object-level property id, 0: none
    std::vector<uint32_t> PerTriangle;  // property id per triangle, empty: none
};

const TObject kObjects[2] = {
    {{0, 0, 0, 20, 0, 0, 20, 20, 0, 0, 20, 0, 0, 0, 20, 20, 0, 20, 20, 20, 20, 0, 20, 20},
     {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4, 3, 7, 6, 3, 6, 2, 0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5},
     1,
     {}},
    {{30, 0, 0, 50, 0, 0, 50, 20, 0, 30, 20, 0, 40, 10, 25},
     {0, 2, 1, 0, 3, 2, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4},
     0,
     {2, 3, 2, 3, 2, 3}},
};
const uint8_t kColours[3][4] = {{230, 30, 30, 255}, {30, 200, 60, 255}, {40, 60, 230, 255}};

struct TState {
    voxaro::testfake::TFaultPlan Plan;
    std::set<THandle*> Live;
    std::string LastError;
};

TState& S()
{
    static TState state;
    return state;
}

int32_t Give(TKind kind, int index, void** out)
{
    auto* h = new THandle{kind, index};
    S().Live.insert(h);
    *out = h;
    return 0;
}

THandle* As(void* p, TKind kind)
{
    auto* h = static_cast<THandle*>(p);
    return S().Live.count(h) && h->Kind == kind ? h : nullptr;
}

int32_t Fail(const char* text, int32_t code = kGeneric)
{
    S().LastError = text;
    return code;
}

const TObject* Object(void* mesh)
{
    THandle* h = As(mesh, kMesh);
    return h ? &kObjects[h->Index] : nullptr;
}

uint64_t Told(const char* key, const char* fn, uint64_t value)
{
    S().Plan.Override(key, fn, value);
    return value;
}

int32_t ArrayCall(const char* fn, uint64_t count, uint64_t size, uint64_t* needed, void* buffer, const void* data,
                  size_t entryBytes)
{
    if (!needed && !buffer) return kInvalidParam;
    uint64_t told = Told("needed", fn, count);
    if (needed) *needed = told;
    if (!buffer || size < count) return 0;
    std::memcpy(buffer, data, count * entryBytes);
    return 0;
}

#define ENTER(fn)                                                                                                      \
    if (S().Plan.Enter(fn)) return Fail("injected failure in " fn)

}  // namespace

EXPORT int32_t lib3mf_getlibraryversion(uint32_t* major, uint32_t* minor, uint32_t* micro)
{
    char plan[512] = "";
    GetEnvironmentVariableA("VOXARO_LIB3MF_FAULTS", plan, sizeof plan);
    S().Plan.Read(plan);
    ENTER("lib3mf_getlibraryversion");
    *major = S().Plan.Version[0];
    *minor = S().Plan.Version[1];
    *micro = S().Plan.Version[2];
    return 0;
}

EXPORT int32_t lib3mf_getlasterror(void*, uint32_t size, uint32_t* needed, char* buffer, bool* hasError)
{
    if (!hasError) return kInvalidParam;
    const std::string& text = S().LastError;
    *hasError = !text.empty();
    if (needed) *needed = static_cast<uint32_t>(text.size() + 1);
    if (!buffer) return 0;
    if (size <= text.size()) return kBufferTooSmall;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return 0;
}

EXPORT int32_t lib3mf_release(void* instance)
{
    auto* h = static_cast<THandle*>(instance);
    if (!S().Live.erase(h)) return kInvalidCast;
    delete h;
    return 0;
}

EXPORT int32_t lib3mf_createmodel(void** model)
{
    ENTER("lib3mf_createmodel");
    return Give(kModel, 0, model);
}

EXPORT int32_t lib3mf_model_queryreader(void* model, const char* readerClass, void** reader)
{
    ENTER("lib3mf_model_queryreader");
    if (!As(model, kModel)) return kInvalidCast;
    if (std::strcmp(readerClass, "3mf") != 0) return Fail("unknown reader class", 100);
    return Give(kReader, 0, reader);
}

EXPORT int32_t lib3mf_reader_readfromfile(void* reader, const char* fileName)
{
    ENTER("lib3mf_reader_readfromfile");
    if (!As(reader, kReader)) return kInvalidCast;
    int n = MultiByteToWideChar(CP_UTF8, 0, fileName, -1, nullptr, 0);
    std::wstring name(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, fileName, -1, &name[0], n);
    FILE* f = _wfopen(name.c_str(), L"rb");
    if (!f) return Fail("The specified file could not be opened");
    std::fclose(f);
    return 0;
}

EXPORT int32_t lib3mf_model_getmeshobjects(void* model, void** iterator)
{
    ENTER("lib3mf_model_getmeshobjects");
    if (!As(model, kModel)) return kInvalidCast;
    return Give(kIterator, -1, iterator);
}

EXPORT int32_t lib3mf_resourceiterator_movenext(void* iterator, bool* hasNext)
{
    ENTER("lib3mf_resourceiterator_movenext");
    THandle* h = As(iterator, kIterator);
    if (!h) return kInvalidCast;
    if (h->Index < 2) ++h->Index;
    *hasNext = h->Index < 2;
    return 0;
}

EXPORT int32_t lib3mf_meshobjectiterator_getcurrentmeshobject(void* iterator, void** mesh)
{
    ENTER("lib3mf_meshobjectiterator_getcurrentmeshobject");
    THandle* h = As(iterator, kIterator);
    if (!h || h->Index < 0 || h->Index > 1) return Fail("the current index of the iterator is invalid", 102);
    return Give(kMesh, h->Index, mesh);
}

EXPORT int32_t lib3mf_meshobject_getvertexcount(void* mesh, uint32_t* count)
{
    ENTER("lib3mf_meshobject_getvertexcount");
    const TObject* o = Object(mesh);
    if (!o) return kInvalidCast;
    *count = static_cast<uint32_t>(Told("vertexcount", "lib3mf_meshobject_getvertexcount", o->Positions.size() / 3));
    return 0;
}

EXPORT int32_t lib3mf_meshobject_gettrianglecount(void* mesh, uint32_t* count)
{
    ENTER("lib3mf_meshobject_gettrianglecount");
    const TObject* o = Object(mesh);
    if (!o) return kInvalidCast;
    *count =
        static_cast<uint32_t>(Told("trianglecount", "lib3mf_meshobject_gettrianglecount", o->Triangles.size() / 3));
    return 0;
}

EXPORT int32_t lib3mf_meshobject_getvertices(void* mesh, uint64_t size, uint64_t* needed, void* buffer)
{
    ENTER("lib3mf_meshobject_getvertices");
    const TObject* o = Object(mesh);
    if (!o) return kInvalidCast;
    return ArrayCall("lib3mf_meshobject_getvertices", o->Positions.size() / 3, size, needed, buffer,
                     o->Positions.data(), 12);
}

EXPORT int32_t lib3mf_meshobject_gettriangleindices(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER("lib3mf_meshobject_gettriangleindices");
    const TObject* o = Object(mesh);
    if (!o) return kInvalidCast;
    int32_t r = ArrayCall("lib3mf_meshobject_gettriangleindices", o->Triangles.size() / 3, size, needed, buffer,
                          o->Triangles.data(), 12);
    if (r == 0 && buffer && size >= o->Triangles.size() / 3 && S().Plan.Has("badindex")) buffer[1] = 0xFFFFFFF0u;
    return r;
}

EXPORT int32_t lib3mf_meshobject_getalltriangleproperties(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER("lib3mf_meshobject_getalltriangleproperties");
    const TObject* o = Object(mesh);
    if (!o) return kInvalidCast;
    uint64_t count = o->Triangles.size() / 3;
    if (!needed && !buffer) return kInvalidParam;
    if (needed) *needed = Told("needed", "lib3mf_meshobject_getalltriangleproperties", count);
    if (!buffer || size < count) return 0;
    for (size_t t = 0; t < o->PerTriangle.size(); ++t) {
        uint32_t pid = static_cast<uint32_t>(Told("propertyid", "", o->PerTriangle[t]));
        uint32_t entry[4] = {static_cast<uint32_t>(Told("resourceid", "", kGroupId)), pid, pid, pid};
        std::memcpy(buffer + 4 * t, entry, sizeof entry);
    }
    return 0;
}

EXPORT int32_t lib3mf_meshobject_getobjectlevelproperty(void* mesh, uint32_t* resourceId, uint32_t* propertyId,
                                                        bool* hasProperty)
{
    ENTER("lib3mf_meshobject_getobjectlevelproperty");
    const TObject* o = Object(mesh);
    if (!o) return kInvalidCast;
    if (!resourceId || !propertyId || !hasProperty) return kInvalidParam;
    *hasProperty = o->Material != 0;
    *resourceId = static_cast<uint32_t>(Told("resourceid", "", o->Material ? kGroupId : 0));
    *propertyId = static_cast<uint32_t>(Told("propertyid", "", o->Material));
    return 0;
}

EXPORT int32_t lib3mf_model_getbasematerialgroupbyid(void* model, uint32_t resourceId, void** group)
{
    ENTER("lib3mf_model_getbasematerialgroupbyid");
    if (!As(model, kModel)) return kInvalidCast;
    if (resourceId != kGroupId) return Fail("Resource not found", kResourceNotFound);
    return Give(kGroup, 0, group);
}

#ifndef VOXARO_FAKE_WITHOUT_DISPLAYCOLOR
EXPORT int32_t lib3mf_basematerialgroup_getdisplaycolor(void* group, uint32_t propertyId, uint8_t* color)
{
    ENTER("lib3mf_basematerialgroup_getdisplaycolor");
    if (!As(group, kGroup)) return kInvalidCast;
    if (propertyId < 1 || propertyId > 3) return Fail("unknown property id");
    std::memcpy(color, kColours[propertyId - 1], 4);
    return 0;
}
#endif

EXPORT int32_t lib3mf_model_getpropertytypebyid(void* model, uint32_t resourceId, int32_t* type)
{
    ENTER("lib3mf_model_getpropertytypebyid");
    if (!As(model, kModel)) return kInvalidCast;
    if (!type) return kInvalidParam;
    if (resourceId != kGroupId) return Fail("Resource not found", kResourceNotFound);
    *type = kBaseMaterialType;
    return 0;
}

EXPORT int32_t lib3mf_model_getcolorgroupbyid(void* model, uint32_t, void**)
{
    ENTER("lib3mf_model_getcolorgroupbyid");
    if (!As(model, kModel)) return kInvalidCast;
    return Fail("A color group resource is invalid", kNotAColorGroup);
}

EXPORT int32_t lib3mf_colorgroup_getcolor(void*, uint32_t, uint8_t*)
{
    return kInvalidCast;  // there are no colour groups to hand out
}

EXPORT int32_t lib3mf_model_getbuilditems(void* model, void** iterator)
{
    ENTER("lib3mf_model_getbuilditems");
    if (!As(model, kModel)) return kInvalidCast;
    return Give(kBuildIterator, -1, iterator);
}

EXPORT int32_t lib3mf_builditemiterator_movenext(void* iterator, bool* hasNext)
{
    ENTER("lib3mf_builditemiterator_movenext");
    if (!As(iterator, kBuildIterator)) return kInvalidCast;
    *hasNext = false;
    return 0;
}

EXPORT int32_t lib3mf_builditemiterator_getcurrent(void* iterator, void**)
{
    ENTER("lib3mf_builditemiterator_getcurrent");
    if (!As(iterator, kBuildIterator)) return kInvalidCast;
    return Fail("the current index of an iterator is invalid", kIteratorInvalidIndex);
}

// No build items, components objects or components exist: every handle is of another kind.
EXPORT int32_t lib3mf_builditem_getobjectresource(void*, void**)
{
    return kInvalidCast;
}

EXPORT int32_t lib3mf_builditem_getobjecttransform(void*, float*)
{
    return kInvalidCast;
}

EXPORT int32_t lib3mf_componentsobject_getcomponentcount(void*, uint32_t*)
{
    return kInvalidCast;
}

EXPORT int32_t lib3mf_componentsobject_getcomponent(void*, uint32_t, void**)
{
    return kInvalidCast;
}

EXPORT int32_t lib3mf_component_getobjectresource(void*, void**)
{
    return kInvalidCast;
}

EXPORT int32_t lib3mf_component_gettransform(void*, float*)
{
    return kInvalidCast;
}

EXPORT int32_t lib3mf_object_ismeshobject(void* object, bool* isMesh)
{
    ENTER("lib3mf_object_ismeshobject");
    if (!Object(object)) return kInvalidCast;
    *isMesh = true;
    return 0;
}

EXPORT int32_t lib3mf_object_iscomponentsobject(void* object, bool* isComponents)
{
    ENTER("lib3mf_object_iscomponentsobject");
    if (!Object(object)) return kInvalidCast;
    *isComponents = false;
    return 0;
}

EXPORT int32_t lib3mf_resource_getuniqueresourceid(void* resource, uint32_t* id)
{
    ENTER("lib3mf_resource_getuniqueresourceid");
    THandle* h = As(resource, kMesh);
    if (!h) return kInvalidCast;
    *id = static_cast<uint32_t>(h->Index + 2);  // after the material group
    return 0;
}
