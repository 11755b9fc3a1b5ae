// lib3mf.dll for the Wine tests of the real plug-in: the lib3mf 2.x entry
// points the viewer calls, reporting version 2.5.0, over packages of its own.
// The file named is opened and its first bytes pick the package:
//  - "instances": a block whose faces across z are green and the others blue
//    (a colour group), placed by two build items: one moves it, the other
//    holds a components object that turns it a quarter round y, and moves it;
//  - anything else: a red cube (object-level base material, shared vertices)
//    and a pyramid whose triangles are green and blue base materials (flat),
//    each placed by a build item, the pyramid moved beside the cube.
// Handles are checked for their kind and answered with lib3mf's codes;
// voxaro_fake_handles tells whether every one came back. The fault plan
// (fault_plan.h) can make it misbehave.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fault_plan.h"

#define EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr int32_t kInvalidParam = 2, kInvalidCast = 3, kBufferTooSmall = 4, kGeneric = 5;
constexpr int32_t kReaderClassUnknown = 100, kIteratorInvalidIndex = 102, kResourceNotFound = 104;
constexpr int32_t kNotABaseMaterialGroup = 111, kNotAColorGroup = 114;
constexpr int32_t kNoPropertyType = 0, kBaseMaterialType = 1, kColorsType = 3;
const char kInvalidIndexText[] = "the current index of an iterator is invalid";

using TRgba = std::array<uint8_t, 4>;
// Row form, as lib3mf hands it over: p goes to p * rows 0..2 + row 3.
using TTransform = std::array<float, 12>;
constexpr TTransform kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

TTransform Moved(float x, float y, float z)
{
    return {1, 0, 0, 0, 1, 0, 0, 0, 1, x, y, z};
}

struct TMesh {
    std::vector<float> Positions;
    std::vector<uint32_t> Triangles;
    uint32_t ObjectResource = 0, ObjectProperty = 0;  // object-level property; resource 0: none
    uint32_t TriangleResource = 0;
    std::vector<uint32_t> TriangleProperties;  // one per triangle; empty: none
};

struct TComponent {
    uint32_t Object;
    TTransform Transform;
};

enum TResourceKind { rkBaseMaterials, rkColorGroup, rkMesh, rkComponents };

struct TResource {
    uint32_t Id;  // the package-unique id
    TResourceKind Kind;
    TMesh Mesh;
    std::vector<TRgba> Colours;  // groups: property id = index + 1
    std::vector<TComponent> Components;
};

struct TItem {
    uint32_t Object;
    TTransform Transform;
};

struct TPackage {
    std::vector<TResource> Resources;
    std::vector<TItem> Items;
};

const TRgba kRed = {230, 30, 30, 255}, kGreen = {30, 200, 60, 255}, kBlue = {40, 60, 230, 255};

TMesh Geometry(std::vector<float> positions, std::vector<uint32_t> triangles)
{
    TMesh mesh;
    mesh.Positions = std::move(positions);
    mesh.Triangles = std::move(triangles);
    return mesh;
}

// A 20 x 20 x 20 cube at the origin; triangles in pairs: -z, +z, -y, +y, -x, +x.
TMesh Cube()
{
    return Geometry(
        {0, 0, 0, 20, 0, 0, 20, 20, 0, 0, 20, 0, 0, 0, 20, 20, 0, 20, 20, 20, 20, 0, 20, 20},
        {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4, 3, 7, 6, 3, 6, 2, 0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5});
}

TPackage CubeAndPyramid()
{
    TMesh cube = Cube();
    cube.ObjectResource = 1;
    cube.ObjectProperty = 1;
    TMesh pyramid = Geometry({0, 0, 0, 20, 0, 0, 20, 20, 0, 0, 20, 0, 10, 10, 25},
                             {0, 2, 1, 0, 3, 2, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4});
    pyramid.TriangleResource = 1;
    pyramid.TriangleProperties = {2, 3, 2, 3, 2, 3};
    return {
        {{1, rkBaseMaterials, {}, {kRed, kGreen, kBlue}, {}}, {2, rkMesh, cube, {}, {}}, {3, rkMesh, pyramid, {}, {}}},
        {{2, kIdentity}, {3, Moved(30, 0, 0)}}};
}

TPackage Instances()
{
    TMesh block = Cube();
    block.TriangleResource = 1;
    block.TriangleProperties = {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2};
    const TTransform quarterRoundY = {0, 0, -1, 0, 1, 0, 1, 0, 0, 0, 0, 0};  // (x, y, z) to (z, y, -x)
    return {{{1, rkColorGroup, {}, {kGreen, kBlue}, {}},
             {2, rkMesh, block, {}, {}},
             {3, rkComponents, {}, {}, {{2, quarterRoundY}}}},
            {{2, Moved(-60, 0, 0)}, {3, Moved(40, 0, 20)}}};
}

const TPackage kEmpty{};
const TPackage kCubeAndPyramid = CubeAndPyramid();
const TPackage kInstances = Instances();

enum TKind { kModel, kReader, kMeshIterator, kBuildIterator, kBuildItem, kComponent, kResource };

struct THandle {
    TKind Kind;
    const TPackage* Package;   // what the model holds; models: empty until read
    int Index;                 // iterators: current entry (-1 before the first); items; resources
    uint32_t Sub = 0;          // components: which of the object's
    THandle* Model = nullptr;  // readers: the model they read into
};

struct TState {
    voxaro::testfake::TFaultPlan Plan;
    std::set<THandle*> Live;
    int BadReleases = 0;
    std::map<void*, std::string> Errors;  // the last failure's text, per instance
};

TState& S()
{
    static TState state;
    return state;
}

int32_t Give(void** out, TKind kind, const TPackage* package, int index, uint32_t sub = 0)
{
    auto* h = new THandle{kind, package, index, sub};
    S().Live.insert(h);
    *out = h;
    return 0;
}

THandle* As(void* p, TKind kind)
{
    auto* h = static_cast<THandle*>(p);
    return S().Live.count(h) && h->Kind == kind ? h : nullptr;
}

int32_t Fail(void* instance, const std::string& text, int32_t code = kGeneric)
{
    if (instance) S().Errors[instance] = text;
    return code;
}

const TResource* ResourceById(const TPackage* package, uint32_t id)
{
    for (const TResource& r : package->Resources)
        if (r.Id == id) return &r;
    return nullptr;
}

int IndexOf(const TPackage* package, uint32_t id)
{
    const TResource* r = ResourceById(package, id);
    return r ? static_cast<int>(r - package->Resources.data()) : -1;
}

// The resource a handle stands for, when it is one of the given kind.
const TResource* Resource(void* p, TResourceKind kind)
{
    THandle* h = As(p, kResource);
    if (!h) return nullptr;
    const TResource& r = h->Package->Resources[h->Index];
    return r.Kind == kind ? &r : nullptr;
}

const TResource* Object(void* p)
{
    const TResource* r = Resource(p, rkMesh);
    return r ? r : Resource(p, rkComponents);
}

const TMesh* Mesh(void* p)
{
    const TResource* r = Resource(p, rkMesh);
    return r ? &r->Mesh : nullptr;
}

const TItem* Item(void* p)
{
    THandle* h = As(p, kBuildItem);
    return h ? &h->Package->Items[h->Index] : nullptr;
}

const TComponent* Component(void* p)
{
    THandle* h = As(p, kComponent);
    return h ? &h->Package->Resources[h->Index].Components[h->Sub] : nullptr;
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

int32_t GiveTransform(const TTransform* t, float* out)
{
    if (!t) return kInvalidCast;
    if (!out) return kInvalidParam;
    std::memcpy(out, t->data(), sizeof(*t));
    return 0;
}

// lib3mf's test: a transform that differs from the identity by a sum of
// squares of 1e-7 or more.
int32_t HasTransform(const TTransform* t, bool* has)
{
    if (!t) return kInvalidCast;
    if (!has) return kInvalidParam;
    double sum = 0;
    for (size_t i = 0; i < t->size(); ++i)
        sum += (double((*t)[i]) - kIdentity[i]) * (double((*t)[i]) - kIdentity[i]);
    *has = sum >= 1e-7;
    return 0;
}

int32_t GiveColour(const TResource* group, uint32_t propertyId, uint8_t* color, void* instance)
{
    if (!group) return kInvalidCast;
    if (!color) return kInvalidParam;
    if (propertyId < 1 || propertyId > group->Colours.size())
        return Fail(instance, "unknown property id " + std::to_string(propertyId));
    std::memcpy(color, group->Colours[propertyId - 1].data(), 4);
    return 0;
}

#define ENTER(fn, instance)                                                                                            \
    if (S().Plan.Enter(fn)) return Fail(instance, "injected failure in " fn)

}  // namespace

EXPORT int32_t lib3mf_getlibraryversion(uint32_t* major, uint32_t* minor, uint32_t* micro)
{
    char plan[512] = "";
    GetEnvironmentVariableA("VOXARO_LIB3MF_FAULTS", plan, sizeof plan);
    S().Plan.Read(plan);
    for (THandle* h : S().Live)
        delete h;
    S().Live.clear();
    S().BadReleases = 0;
    S().Errors.clear();
    ENTER("lib3mf_getlibraryversion", nullptr);
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
    const std::string text = *hasError ? it->second : std::string();
    if (needed) *needed = static_cast<uint32_t>(text.size() + 1);
    if (!buffer) return 0;
    if (size <= text.size()) return kBufferTooSmall;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return 0;
}

EXPORT int32_t lib3mf_release(void* instance)
{
    auto* h = static_cast<THandle*>(instance);
    if (!S().Live.erase(h)) {
        ++S().BadReleases;
        return kInvalidCast;
    }
    S().Errors.erase(h);
    delete h;
    return 0;
}

EXPORT int32_t lib3mf_createmodel(void** model)
{
    ENTER("lib3mf_createmodel", nullptr);
    if (!model) return kInvalidParam;
    return Give(model, kModel, &kEmpty, 0);
}

EXPORT int32_t lib3mf_model_queryreader(void* model, const char* readerClass, void** reader)
{
    ENTER("lib3mf_model_queryreader", model);
    THandle* m = As(model, kModel);
    if (!m) return kInvalidCast;
    if (!readerClass || !reader) return kInvalidParam;
    if (std::strcmp(readerClass, "3mf") != 0) return Fail(model, "unknown reader class", kReaderClassUnknown);
    Give(reader, kReader, &kEmpty, 0);
    static_cast<THandle*>(*reader)->Model = m;
    return 0;
}

EXPORT int32_t lib3mf_reader_readfromfile(void* reader, const char* fileName)
{
    ENTER("lib3mf_reader_readfromfile", reader);
    THandle* r = As(reader, kReader);
    if (!r) return kInvalidCast;
    if (!fileName) return kInvalidParam;
    int n = MultiByteToWideChar(CP_UTF8, 0, fileName, -1, nullptr, 0);
    std::wstring name(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, fileName, -1, &name[0], n);
    FILE* f = _wfopen(name.c_str(), L"rb");
    if (!f) return Fail(reader, "The specified file could not be opened");
    char head[16] = "";
    size_t got = std::fread(head, 1, sizeof head - 1, f);
    std::fclose(f);
    head[got] = '\0';
    if (!As(r->Model, kModel)) return Fail(reader, "the reader's model is gone");
    r->Model->Package = std::strncmp(head, "instances", 9) == 0 ? &kInstances : &kCubeAndPyramid;
    return 0;
}

EXPORT int32_t lib3mf_model_getmeshobjects(void* model, void** iterator)
{
    ENTER("lib3mf_model_getmeshobjects", model);
    THandle* m = As(model, kModel);
    if (!m) return kInvalidCast;
    if (!iterator) return kInvalidParam;
    return Give(iterator, kMeshIterator, m->Package, -1);
}

EXPORT int32_t lib3mf_resourceiterator_movenext(void* iterator, bool* hasNext)
{
    ENTER("lib3mf_resourceiterator_movenext", iterator);
    THandle* h = As(iterator, kMeshIterator);
    if (!h) return kInvalidCast;
    if (!hasNext) return kInvalidParam;
    const std::vector<TResource>& resources = h->Package->Resources;
    const int end = static_cast<int>(resources.size());
    do
        h->Index = h->Index < end ? h->Index + 1 : end;
    while (h->Index < end && resources[h->Index].Kind != rkMesh);
    *hasNext = h->Index < end;
    return 0;
}

EXPORT int32_t lib3mf_meshobjectiterator_getcurrentmeshobject(void* iterator, void** mesh)
{
    ENTER("lib3mf_meshobjectiterator_getcurrentmeshobject", iterator);
    THandle* h = As(iterator, kMeshIterator);
    if (!h) return kInvalidCast;
    if (!mesh) return kInvalidParam;
    if (h->Index < 0 || h->Index >= static_cast<int>(h->Package->Resources.size()))
        return Fail(iterator, kInvalidIndexText, kIteratorInvalidIndex);
    return Give(mesh, kResource, h->Package, h->Index);
}

EXPORT int32_t lib3mf_meshobject_getvertexcount(void* mesh, uint32_t* count)
{
    ENTER("lib3mf_meshobject_getvertexcount", mesh);
    const TMesh* o = Mesh(mesh);
    if (!o) return kInvalidCast;
    if (!count) return kInvalidParam;
    *count = static_cast<uint32_t>(Told("vertexcount", "lib3mf_meshobject_getvertexcount", o->Positions.size() / 3));
    return 0;
}

EXPORT int32_t lib3mf_meshobject_gettrianglecount(void* mesh, uint32_t* count)
{
    ENTER("lib3mf_meshobject_gettrianglecount", mesh);
    const TMesh* o = Mesh(mesh);
    if (!o) return kInvalidCast;
    if (!count) return kInvalidParam;
    *count =
        static_cast<uint32_t>(Told("trianglecount", "lib3mf_meshobject_gettrianglecount", o->Triangles.size() / 3));
    return 0;
}

EXPORT int32_t lib3mf_meshobject_getvertices(void* mesh, uint64_t size, uint64_t* needed, void* buffer)
{
    ENTER("lib3mf_meshobject_getvertices", mesh);
    const TMesh* o = Mesh(mesh);
    if (!o) return kInvalidCast;
    return ArrayCall("lib3mf_meshobject_getvertices", o->Positions.size() / 3, size, needed, buffer,
                     o->Positions.data(), 12);
}

EXPORT int32_t lib3mf_meshobject_gettriangleindices(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER("lib3mf_meshobject_gettriangleindices", mesh);
    const TMesh* o = Mesh(mesh);
    if (!o) return kInvalidCast;
    int32_t r = ArrayCall("lib3mf_meshobject_gettriangleindices", o->Triangles.size() / 3, size, needed, buffer,
                          o->Triangles.data(), 12);
    if (r == 0 && buffer && size >= o->Triangles.size() / 3 && S().Plan.Has("badindex")) buffer[1] = 0xFFFFFFF0u;
    return r;
}

EXPORT int32_t lib3mf_meshobject_getalltriangleproperties(void* mesh, uint64_t size, uint64_t* needed, uint32_t* buffer)
{
    ENTER("lib3mf_meshobject_getalltriangleproperties", mesh);
    const TMesh* o = Mesh(mesh);
    if (!o) return kInvalidCast;
    uint64_t count = o->Triangles.size() / 3;
    if (!needed && !buffer) return kInvalidParam;
    if (needed) *needed = Told("needed", "lib3mf_meshobject_getalltriangleproperties", count);
    if (!buffer || size < count) return 0;
    // Triangles without a property are left untouched.
    for (size_t t = 0; t < o->TriangleProperties.size(); ++t) {
        uint32_t pid = static_cast<uint32_t>(Told("propertyid", "", o->TriangleProperties[t]));
        uint32_t corner = static_cast<uint32_t>(Told("cornerpid", "", pid));
        uint32_t entry[4] = {static_cast<uint32_t>(Told("resourceid", "", o->TriangleResource)), pid, corner, corner};
        std::memcpy(buffer + 4 * t, entry, sizeof entry);
    }
    return 0;
}

EXPORT int32_t lib3mf_meshobject_getobjectlevelproperty(void* mesh, uint32_t* resourceId, uint32_t* propertyId,
                                                        bool* hasProperty)
{
    ENTER("lib3mf_meshobject_getobjectlevelproperty", mesh);
    const TMesh* o = Mesh(mesh);
    if (!o) return kInvalidCast;
    if (!resourceId || !propertyId || !hasProperty) return kInvalidParam;
    *hasProperty = o->ObjectResource != 0;
    *resourceId = static_cast<uint32_t>(Told("resourceid", "", o->ObjectResource));
    *propertyId = static_cast<uint32_t>(Told("propertyid", "", o->ObjectProperty));
    return 0;
}

EXPORT int32_t lib3mf_model_getbasematerialgroupbyid(void* model, uint32_t resourceId, void** group)
{
    ENTER("lib3mf_model_getbasematerialgroupbyid", model);
    THandle* m = As(model, kModel);
    if (!m) return kInvalidCast;
    if (!group) return kInvalidParam;
    const TResource* r = ResourceById(m->Package, resourceId);
    if (!r) return Fail(model, "Resource not found", kResourceNotFound);
    if (r->Kind != rkBaseMaterials) return Fail(model, "A basematerialgroup is invalid", kNotABaseMaterialGroup);
    return Give(group, kResource, m->Package, IndexOf(m->Package, resourceId));
}

#ifndef VOXARO_FAKE_WITHOUT_DISPLAYCOLOR
EXPORT int32_t lib3mf_basematerialgroup_getdisplaycolor(void* group, uint32_t propertyId, uint8_t* color)
{
    ENTER("lib3mf_basematerialgroup_getdisplaycolor", group);
    return GiveColour(Resource(group, rkBaseMaterials), propertyId, color, group);
}
#endif

EXPORT int32_t lib3mf_model_getpropertytypebyid(void* model, uint32_t resourceId, int32_t* type)
{
    ENTER("lib3mf_model_getpropertytypebyid", model);
    THandle* m = As(model, kModel);
    if (!m) return kInvalidCast;
    if (!type) return kInvalidParam;
    const TResource* r = ResourceById(m->Package, resourceId);
    if (!r) return Fail(model, "Resource not found", kResourceNotFound);
    *type = r->Kind == rkBaseMaterials ? kBaseMaterialType : r->Kind == rkColorGroup ? kColorsType : kNoPropertyType;
    return 0;
}

EXPORT int32_t lib3mf_model_getcolorgroupbyid(void* model, uint32_t resourceId, void** group)
{
    ENTER("lib3mf_model_getcolorgroupbyid", model);
    THandle* m = As(model, kModel);
    if (!m) return kInvalidCast;
    if (!group) return kInvalidParam;
    const TResource* r = ResourceById(m->Package, resourceId);
    if (!r || r->Kind != rkColorGroup) return Fail(model, "A color group resource is invalid", kNotAColorGroup);
    return Give(group, kResource, m->Package, IndexOf(m->Package, resourceId));
}

EXPORT int32_t lib3mf_colorgroup_getcount(void* group, uint32_t* count)
{
    ENTER("lib3mf_colorgroup_getcount", group);
    const TResource* r = Resource(group, rkColorGroup);
    if (!r) return kInvalidCast;
    if (!count) return kInvalidParam;
    *count = static_cast<uint32_t>(r->Colours.size());
    return 0;
}

EXPORT int32_t lib3mf_colorgroup_getcolor(void* group, uint32_t propertyId, uint8_t* color)
{
    ENTER("lib3mf_colorgroup_getcolor", group);
    return GiveColour(Resource(group, rkColorGroup), propertyId, color, group);
}

#ifndef VOXARO_FAKE_WITHOUT_BUILDITEMS
EXPORT int32_t lib3mf_model_getbuilditems(void* model, void** iterator)
{
    ENTER("lib3mf_model_getbuilditems", model);
    THandle* m = As(model, kModel);
    if (!m) return kInvalidCast;
    if (!iterator) return kInvalidParam;
    return Give(iterator, kBuildIterator, m->Package, -1);
}
#endif

// Past the end the iterator stays there and keeps answering false.
EXPORT int32_t lib3mf_builditemiterator_movenext(void* iterator, bool* hasNext)
{
    ENTER("lib3mf_builditemiterator_movenext", iterator);
    THandle* h = As(iterator, kBuildIterator);
    if (!h) return kInvalidCast;
    if (!hasNext) return kInvalidParam;
    const int end = static_cast<int>(h->Package->Items.size());
    if (h->Index < end) ++h->Index;
    *hasNext = h->Index < end;
    return 0;
}

EXPORT int32_t lib3mf_builditemiterator_getcurrent(void* iterator, void** item)
{
    ENTER("lib3mf_builditemiterator_getcurrent", iterator);
    THandle* h = As(iterator, kBuildIterator);
    if (!h) return kInvalidCast;
    if (!item) return kInvalidParam;
    if (h->Index < 0 || h->Index >= static_cast<int>(h->Package->Items.size()))
        return Fail(iterator, kInvalidIndexText, kIteratorInvalidIndex);
    return Give(item, kBuildItem, h->Package, h->Index);
}

EXPORT int32_t lib3mf_builditemiterator_count(void* iterator, uint64_t* count)
{
    ENTER("lib3mf_builditemiterator_count", iterator);
    THandle* h = As(iterator, kBuildIterator);
    if (!h) return kInvalidCast;
    if (!count) return kInvalidParam;
    *count = h->Package->Items.size();
    return 0;
}

EXPORT int32_t lib3mf_builditem_getobjectresource(void* item, void** object)
{
    ENTER("lib3mf_builditem_getobjectresource", item);
    const TItem* i = Item(item);
    if (!i) return kInvalidCast;
    if (!object) return kInvalidParam;
    const TPackage* package = static_cast<THandle*>(item)->Package;
    return Give(object, kResource, package, IndexOf(package, i->Object));
}

EXPORT int32_t lib3mf_builditem_getobjectresourceid(void* item, uint32_t* id)
{
    ENTER("lib3mf_builditem_getobjectresourceid", item);
    const TItem* i = Item(item);
    if (!i) return kInvalidCast;
    if (!id) return kInvalidParam;
    *id = i->Object;
    return 0;
}

EXPORT int32_t lib3mf_builditem_hasobjecttransform(void* item, bool* has)
{
    ENTER("lib3mf_builditem_hasobjecttransform", item);
    const TItem* i = Item(item);
    return HasTransform(i ? &i->Transform : nullptr, has);
}

EXPORT int32_t lib3mf_builditem_getobjecttransform(void* item, float* transform)
{
    ENTER("lib3mf_builditem_getobjecttransform", item);
    const TItem* i = Item(item);
    return GiveTransform(i ? &i->Transform : nullptr, transform);
}

EXPORT int32_t lib3mf_object_ismeshobject(void* object, bool* isMesh)
{
    ENTER("lib3mf_object_ismeshobject", object);
    if (!Object(object)) return kInvalidCast;
    if (!isMesh) return kInvalidParam;
    *isMesh = Mesh(object) != nullptr;
    return 0;
}

EXPORT int32_t lib3mf_object_iscomponentsobject(void* object, bool* isComponents)
{
    ENTER("lib3mf_object_iscomponentsobject", object);
    if (!Object(object)) return kInvalidCast;
    if (!isComponents) return kInvalidParam;
    *isComponents = Resource(object, rkComponents) != nullptr;
    return 0;
}

EXPORT int32_t lib3mf_resource_getuniqueresourceid(void* resource, uint32_t* id)
{
    ENTER("lib3mf_resource_getuniqueresourceid", resource);
    THandle* h = As(resource, kResource);
    if (!h) return kInvalidCast;
    if (!id) return kInvalidParam;
    *id = h->Package->Resources[h->Index].Id;
    return 0;
}

EXPORT int32_t lib3mf_componentsobject_getcomponentcount(void* components, uint32_t* count)
{
    ENTER("lib3mf_componentsobject_getcomponentcount", components);
    const TResource* r = Resource(components, rkComponents);
    if (!r) return kInvalidCast;
    if (!count) return kInvalidParam;
    *count = static_cast<uint32_t>(
        Told("componentcount", "lib3mf_componentsobject_getcomponentcount", r->Components.size()));
    return 0;
}

EXPORT int32_t lib3mf_componentsobject_getcomponent(void* components, uint32_t index, void** component)
{
    ENTER("lib3mf_componentsobject_getcomponent", components);
    const TResource* r = Resource(components, rkComponents);
    if (!r) return kInvalidCast;
    if (!component) return kInvalidParam;
    if (index >= r->Components.size()) return Fail(components, "invalid component index");
    const THandle* h = static_cast<THandle*>(components);
    return Give(component, kComponent, h->Package, h->Index, index);
}

EXPORT int32_t lib3mf_component_getobjectresource(void* component, void** object)
{
    ENTER("lib3mf_component_getobjectresource", component);
    const TComponent* c = Component(component);
    if (!c) return kInvalidCast;
    if (!object) return kInvalidParam;
    const TPackage* package = static_cast<THandle*>(component)->Package;
    return Give(object, kResource, package, IndexOf(package, c->Object));
}

EXPORT int32_t lib3mf_component_getobjectresourceid(void* component, uint32_t* id)
{
    ENTER("lib3mf_component_getobjectresourceid", component);
    const TComponent* c = Component(component);
    if (!c) return kInvalidCast;
    if (!id) return kInvalidParam;
    *id = c->Object;
    return 0;
}

EXPORT int32_t lib3mf_component_hastransform(void* component, bool* has)
{
    ENTER("lib3mf_component_hastransform", component);
    const TComponent* c = Component(component);
    return HasTransform(c ? &c->Transform : nullptr, has);
}

EXPORT int32_t lib3mf_component_gettransform(void* component, float* transform)
{
    ENTER("lib3mf_component_gettransform", component);
    const TComponent* c = Component(component);
    return GiveTransform(c ? &c->Transform : nullptr, transform);
}

// For the tests: handles given out and not yet released since the last
// version query, and releases of handles that were not live.
EXPORT void voxaro_fake_handles(int* live, int* badReleases)
{
    *live = static_cast<int>(S().Live.size());
    *badReleases = S().BadReleases;
}
