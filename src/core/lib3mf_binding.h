// Our binding of lib3mf 2.x, loaded at run time: only the entry points the
// 3MF reader calls, resolved by name. Every call that fails raises
// TLib3mfError with lib3mf's own wording; every handle is a THandle and goes
// back to the library exactly once.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "calling_convention.h"
#include "pod_array.h"
#include "shared_library.h"

namespace voxaro::lib3mf {

// clang-format off
// X(field, exported name, parameter list): the entry points with their 2.x
// signatures (bool out values as bytes), each returning a result code. They
// are resolved in this order, so a library lacking several is refused for
// the first.
#define VOXARO_LIB3MF_FUNCTIONS(X)                                                                                    \
    X(GetLibraryVersion, lib3mf_getlibraryversion, (uint32_t*, uint32_t*, uint32_t*))                                 \
    X(CreateModel, lib3mf_createmodel, (void**))                                                                      \
    X(QueryReader, lib3mf_model_queryreader, (void*, const char*, void**))                                            \
    X(ReadFromFile, lib3mf_reader_readfromfile, (void*, const char*))                                                 \
    X(GetMeshObjects, lib3mf_model_getmeshobjects, (void*, void**))                                                   \
    X(MoveNext, lib3mf_resourceiterator_movenext, (void*, uint8_t*))                                                  \
    X(GetCurrentMeshObject, lib3mf_meshobjectiterator_getcurrentmeshobject, (void*, void**))                          \
    X(GetVertexCount, lib3mf_meshobject_getvertexcount, (void*, uint32_t*))                                           \
    X(GetTriangleCount, lib3mf_meshobject_gettrianglecount, (void*, uint32_t*))                                       \
    X(GetVertices, lib3mf_meshobject_getvertices, (void*, uint64_t, uint64_t*, TPosition*))                           \
    X(GetTriangleIndices, lib3mf_meshobject_gettriangleindices, (void*, uint64_t, uint64_t*, TTriangle*))             \
    X(GetAllTriangleProperties, lib3mf_meshobject_getalltriangleproperties,                                           \
      (void*, uint64_t, uint64_t*, TTriangleProperties*))                                                             \
    X(GetObjectLevelProperty, lib3mf_meshobject_getobjectlevelproperty, (void*, uint32_t*, uint32_t*, uint8_t*))      \
    X(GetBaseMaterialGroupById, lib3mf_model_getbasematerialgroupbyid, (void*, uint32_t, void**))                     \
    X(GetDisplayColor, lib3mf_basematerialgroup_getdisplaycolor, (void*, uint32_t, TByteColor*))                      \
    X(GetPropertyTypeById, lib3mf_model_getpropertytypebyid, (void*, uint32_t, int32_t*))                             \
    X(GetColorGroupById, lib3mf_model_getcolorgroupbyid, (void*, uint32_t, void**))                                   \
    X(GetColor, lib3mf_colorgroup_getcolor, (void*, uint32_t, TByteColor*))                                           \
    X(GetBuildItems, lib3mf_model_getbuilditems, (void*, void**))                                                     \
    X(MoveNextBuildItem, lib3mf_builditemiterator_movenext, (void*, uint8_t*))                                        \
    X(GetCurrentBuildItem, lib3mf_builditemiterator_getcurrent, (void*, void**))                                      \
    X(GetBuildItemObject, lib3mf_builditem_getobjectresource, (void*, void**))                                        \
    X(GetBuildItemTransform, lib3mf_builditem_getobjecttransform, (void*, TTransform*))                               \
    X(IsMeshObject, lib3mf_object_ismeshobject, (void*, uint8_t*))                                                    \
    X(IsComponentsObject, lib3mf_object_iscomponentsobject, (void*, uint8_t*))                                        \
    X(GetUniqueResourceId, lib3mf_resource_getuniqueresourceid, (void*, uint32_t*))                                   \
    X(GetComponentCount, lib3mf_componentsobject_getcomponentcount, (void*, uint32_t*))                               \
    X(GetComponent, lib3mf_componentsobject_getcomponent, (void*, uint32_t, void**))                                  \
    X(GetComponentObject, lib3mf_component_getobjectresource, (void*, void**))                                        \
    X(GetComponentTransform, lib3mf_component_gettransform, (void*, TTransform*))                                     \
    X(Release, lib3mf_release, (void*))                                                                               \
    X(GetLastError, lib3mf_getlasterror, (void*, uint32_t, uint32_t*, char*, uint8_t*))
// clang-format on

#pragma pack(push, 1)
struct TPosition {
    float Coordinates[3];
};
struct TTriangle {
    uint32_t Indices[3];
};
struct TTriangleProperties {
    uint32_t ResourceID;  // 0: the triangle has no property
    uint32_t PropertyIDs[3];
};
// A colour as lib3mf hands it over: one byte per channel.
struct TByteColor {
    uint8_t Red, Green, Blue, Alpha;
};
// Row form: a point p lands at p * Fields[0..2] + Fields[3].
struct TTransform {
    float Fields[4][3];
};
#pragma pack(pop)

static_assert(sizeof(TPosition) == 12 && sizeof(TTriangle) == 12, "lib3mf geometry records are packed");
static_assert(sizeof(TTriangleProperties) == 16 && sizeof(TByteColor) == 4, "lib3mf property records are packed");
static_assert(sizeof(TTransform) == 48, "lib3mf transforms are packed");

// What a property resource is (lib3mf's property types).
enum TPropertyType : int32_t { ptNone = 0, ptBaseMaterial = 1, ptTexCoord = 2, ptColors = 3 };

// Result codes we name.
constexpr int32_t kCouldNotLoadLibrary = 6;
constexpr int32_t kCouldNotFindLibraryExport = 7;
constexpr int32_t kIncompatibleBinaryVersion = 8;

// lib3mf's description of a result code, word for word (its spelling
// mistakes included); "unknown error" for codes it does not define.
const char* ErrorDescription(int32_t code);

// A failed lib3mf call, or a library that cannot be used; what() is the text
// "the 3MF Library Error - <description> (#<code>, <library's message>)".
class TLib3mfError : public std::runtime_error {
public:
    TLib3mfError(int32_t code, const std::string& text) : std::runtime_error(text), Code(code) {}
    int32_t Code;
};

class TLibrary;

// One handle from the library, released when this goes (move-only).
class THandle {
public:
    THandle() = default;
    THandle(const TLibrary* library, void* handle) : Library_(library), Handle_(handle) {}
    ~THandle() { Reset(); }
    THandle(THandle&& o) noexcept : Library_(o.Library_), Handle_(o.Handle_) { o.Handle_ = nullptr; }
    THandle& operator=(THandle&& o) noexcept;
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;

    void* Get() const { return Handle_; }
    void Reset();

private:
    const TLibrary* Library_ = nullptr;
    void* Handle_ = nullptr;
};

class TLibrary {
public:
    TLibrary() = default;
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;
    // Handles must be gone before the library is; it is unloaded here.
    ~TLibrary() = default;

    // Loads the library at path, resolves every entry point we call and
    // requires version 2.5 or a later 2.x. Raises TLib3mfError with code 6, 7
    // or 8 otherwise, and nothing stays loaded.
    void Load(const std::string& path);

    THandle CreateModel() const;
    THandle QueryReader(const THandle& model, const char* readerClass) const;
    void ReadFromFile(const THandle& reader, const std::string& utf8Path) const;
    THandle GetMeshObjects(const THandle& model) const;
    bool MoveNext(const THandle& iterator) const;
    THandle GetCurrentMeshObject(const THandle& iterator) const;
    uint32_t GetVertexCount(const THandle& mesh) const;
    uint32_t GetTriangleCount(const THandle& mesh) const;
    // Whole arrays: the library's size answer must equal count, else an error
    // is raised before anything is allocated.
    void GetVertices(const THandle& mesh, uint32_t count, TPodArray<TPosition>& out) const;
    void GetTriangleIndices(const THandle& mesh, uint32_t count, TPodArray<TTriangle>& out) const;
    // All triangle properties, zero-filled first; more than maxCount entries
    // is an error.
    void GetAllTriangleProperties(const THandle& mesh, uint32_t maxCount, TPodArray<TTriangleProperties>& out) const;
    // False when the object has no object-level property.
    bool GetObjectLevelProperty(const THandle& mesh, uint32_t& resourceId, uint32_t& propertyId) const;
    THandle GetBaseMaterialGroupById(const THandle& model, uint32_t resourceId) const;
    TByteColor GetDisplayColor(const THandle& group, uint32_t propertyId) const;
    int32_t GetPropertyTypeById(const THandle& model, uint32_t resourceId) const;
    THandle GetColorGroupById(const THandle& model, uint32_t resourceId) const;
    TByteColor GetColor(const THandle& group, uint32_t propertyId) const;

    // The build and the objects it places.
    THandle GetBuildItems(const THandle& model) const;
    bool MoveNextBuildItem(const THandle& iterator) const;
    THandle GetCurrentBuildItem(const THandle& iterator) const;
    THandle GetBuildItemObject(const THandle& item) const;
    TTransform GetBuildItemTransform(const THandle& item) const;
    bool IsMeshObject(const THandle& object) const;
    bool IsComponentsObject(const THandle& object) const;
    uint32_t GetUniqueResourceId(const THandle& resource) const;
    uint32_t GetComponentCount(const THandle& components) const;
    THandle GetComponent(const THandle& components, uint32_t index) const;
    THandle GetComponentObject(const THandle& component) const;
    TTransform GetComponentTransform(const THandle& component) const;

    // Gives one handle back; errors are ignored (nothing can be done then).
    void Release(void* handle) const noexcept;

private:
    struct TEntryPoints {
#define VOXARO_LIB3MF_FIELD(field, name, params) int32_t(VOXARO_CDECL* field) params;
        VOXARO_LIB3MF_FUNCTIONS(VOXARO_LIB3MF_FIELD)
#undef VOXARO_LIB3MF_FIELD
    };

    void ResolveEntryPoints();
    void CheckVersion() const;
    void Check(int32_t result, void* instance) const;
    std::string LastErrorText(void* instance) const;
    THandle Wrap(void* handle) const;
    // A handle-giving call on instance, checked and wrapped.
    template <typename Fn, typename... Args> THandle Obtain(Fn fn, const THandle& instance, Args... args) const;
    bool Ask(int32_t(VOXARO_CDECL* fn)(void*, uint8_t*), const THandle& instance) const;
    // Size query, then the whole array in one call. The size must be count
    // (at most count when upTo) before anything is allocated.
    template <typename T, typename Getter>
    void FetchArray(Getter getter, const THandle& mesh, uint64_t count, bool upTo, TPodArray<T>& out,
                    const char* what) const;

    TSharedLibrary Library_;
    TEntryPoints Fn_{};
};

}  // namespace voxaro::lib3mf
