#include "lib3mf_binding.h"

#include <cstring>

#include "reader_error.h"

namespace voxaro::lib3mf {

namespace {

constexpr uint32_t kRequiredMajor = 2;
constexpr uint32_t kRequiredMinor = 5;
constexpr int32_t kInvalidCast = 3;
// Longer messages from the library are not shown.
constexpr uint32_t kMaxErrorText = 64 * 1024;

std::string FormatError(int32_t code, const std::string& message)
{
    return std::string("the 3MF Library Error - ") + ErrorDescription(code) + " (#" + std::to_string(code) + ", " +
           message + ")";
}

template <typename Fn> void Bind(const TSharedLibrary& library, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(library.Resolve(name));
    if (!fn)
        throw TLib3mfError(kCouldNotFindLibraryExport, std::string("could not find function ") + name + " (" +
                                                           std::to_string(kCouldNotFindLibraryExport) + ")");
}

}  // namespace

const char* ErrorDescription(int32_t code)
{
    switch (code) {
    case 0: return "no error";
    case 1: return "functionality not implemented";
    case 2: return "an invalid parameter was passed";
    case 3: return "a type cast failed";
    case 4: return "a provided buffer is too small";
    case 5: return "a generic exception occurred";
    case 6: return "the library could not be loaded";
    case 7: return "a required exported symbol could not be found in the library";
    case 8: return "the version of the binary interface does not match the bindings interface";
    case 10: return "a calculation has been aborted";
    case 11: return "functionality should not be called";
    case 100: return "the queried reader class is unknown";
    case 101: return "the queried writer class is unknown";
    case 102: return "the current index of an iterator is invalid";
    case 103: return "no Model Resource has been given";
    case 104: return "Resource not found";
    case 105: return "A model is invalid";
    case 106: return "An object is invalid";
    case 107: return "A mesh object is invalid";
    case 108: return "A components object is invalid";
    case 109: return "A component is invalid";
    case 110: return "A build item is invalid";
    case 111: return "A basematerialgroup is invalid";
    case 112: return "A slicestack resource is invalid";
    case 113: return "A texture resource is invalid";
    case 114: return "A color group resource is invalid";
    case 115: return "A texture2d group resource is invalid";
    case 116: return "A composite materials resource is invalid";
    case 117: return "A MultiPropertyGroup resource is invalid";
    case 120: return "A resource index is invalid";
    case 121: return "Attachment not found";
    case 130: return "A component references one of its ancestors";
    case 131: return "An attachment stream is invalid";
    case 132: return "Invalid property count.";
    case 140: return "A progress identifier is unknown";
    case 141: return "An element buffer exceeds its spec limit";
    case 142: return "A resource is invalid";
    case 143: return "A level set is invalid";
    case 144: return "Could not find triangle set";
    case 145: return "Invalid triangle set index";
    case 2000: return "This object type is not valid for beamlattices";
    case 3000: return "The keystore object is invalid";
    case 3001: return "The consumer keystore object is invalid";
    case 3002: return "A consumer has not been found";
    case 3003: return "A resource data has not been found";
    case 3004: return "A Key or Conentent encryption callback has not been registered";
    case 3005: return "The key size is invalid";
    case 4000: return "Link could not be added, the port types are incompatible";
    case 4001: return "The functin graph is cyclic. Only dircected graphs are valid and can be topological sorted.";
    case 4002: return "The input of a node is not set.";
    case 4003: return "The selected node configuration is not supported";
    default: return "unknown error";
    }
}

THandle& THandle::operator=(THandle&& o) noexcept
{
    if (this != &o) {
        Reset();
        Library_ = o.Library_;
        Handle_ = o.Handle_;
        o.Handle_ = nullptr;
    }
    return *this;
}

void THandle::Reset()
{
    if (Handle_ && Library_) Library_->Release(Handle_);
    Handle_ = nullptr;
}

void TLibrary::Load(const std::string& path)
{
    if (!Library_.Load(path)) throw TLib3mfError(kCouldNotLoadLibrary, FormatError(kCouldNotLoadLibrary, ""));
    try {
        ResolveEntryPoints();
        CheckVersion();
    } catch (...) {
        Fn_ = {};
        Library_.Unload();
        throw;
    }
}

void TLibrary::ResolveEntryPoints()
{
#define VOXARO_LIB3MF_BIND(field, name, params) Bind(Library_, #name, Fn_.field);
    VOXARO_LIB3MF_FUNCTIONS(VOXARO_LIB3MF_BIND)
#undef VOXARO_LIB3MF_BIND
}

void TLibrary::CheckVersion() const
{
    uint32_t major = 0, minor = 0, micro = 0;
    Check(Fn_.GetLibraryVersion(&major, &minor, &micro), nullptr);
    if (major != kRequiredMajor || minor < kRequiredMinor)
        throw TLib3mfError(kIncompatibleBinaryVersion, FormatError(kIncompatibleBinaryVersion, ""));
}

std::string TLibrary::LastErrorText(void* instance) const
{
    if (!instance) return {};
    uint32_t needed = 0;
    uint8_t hasError = 0;
    if (Fn_.GetLastError(instance, 0, &needed, nullptr, &hasError) != 0 || !hasError) return {};
    if (needed == 0 || needed > kMaxErrorText) return {};
    std::string text(needed, '\0');
    uint32_t written = 0;
    if (Fn_.GetLastError(instance, needed, &written, &text[0], &hasError) != 0) return {};
    text.resize(::strnlen(text.data(), needed));
    return text;
}

void TLibrary::Check(int32_t result, void* instance) const
{
    if (result != 0) throw TLib3mfError(result, FormatError(result, LastErrorText(instance)));
}

THandle TLibrary::Wrap(void* handle) const
{
    // A call that succeeds must hand out a handle.
    if (!handle) throw TLib3mfError(kInvalidCast, FormatError(kInvalidCast, ""));
    return THandle(this, handle);
}

void TLibrary::Release(void* handle) const noexcept
{
    if (handle && Fn_.Release) Fn_.Release(handle);
}

THandle TLibrary::CreateModel() const
{
    void* model = nullptr;
    Check(Fn_.CreateModel(&model), nullptr);
    return Wrap(model);
}

THandle TLibrary::QueryReader(const THandle& model, const char* readerClass) const
{
    void* reader = nullptr;
    Check(Fn_.QueryReader(model.Get(), readerClass, &reader), model.Get());
    return Wrap(reader);
}

void TLibrary::ReadFromFile(const THandle& reader, const std::string& utf8Path) const
{
    Check(Fn_.ReadFromFile(reader.Get(), utf8Path.c_str()), reader.Get());
}

THandle TLibrary::GetMeshObjects(const THandle& model) const
{
    void* iterator = nullptr;
    Check(Fn_.GetMeshObjects(model.Get(), &iterator), model.Get());
    return Wrap(iterator);
}

bool TLibrary::MoveNext(const THandle& iterator) const
{
    uint8_t hasNext = 0;
    Check(Fn_.MoveNext(iterator.Get(), &hasNext), iterator.Get());
    return hasNext != 0;
}

THandle TLibrary::GetCurrentMeshObject(const THandle& iterator) const
{
    void* mesh = nullptr;
    Check(Fn_.GetCurrentMeshObject(iterator.Get(), &mesh), iterator.Get());
    return Wrap(mesh);
}

uint32_t TLibrary::GetVertexCount(const THandle& mesh) const
{
    uint32_t count = 0;
    Check(Fn_.GetVertexCount(mesh.Get(), &count), mesh.Get());
    return count;
}

uint32_t TLibrary::GetTriangleCount(const THandle& mesh) const
{
    uint32_t count = 0;
    Check(Fn_.GetTriangleCount(mesh.Get(), &count), mesh.Get());
    return count;
}

template <typename T, typename Getter>
void TLibrary::FetchArray(Getter getter, const THandle& mesh, uint64_t count, bool upTo, TPodArray<T>& out,
                          const char* what) const
{
    out.Clear();
    uint64_t needed = 0;
    Check(getter(mesh.Get(), 0, &needed, nullptr), mesh.Get());
    if (upTo ? needed > count : needed != count)
        throw TReaderError(std::string("The library's ") + what + " array does not match its count.");
    if (needed == 0) return;
    if (!out.Resize(static_cast<size_t>(needed))) throw TOutOfMemory();
    // Triangle properties the library has no data for are left untouched by it.
    if (upTo) std::memset(static_cast<void*>(out.data()), 0, out.size() * sizeof(T));
    uint64_t written = 0;
    Check(getter(mesh.Get(), needed, &written, out.data()), mesh.Get());
    // A buffer the library finds too small is answered with the size it wants and no data.
    if (written != needed)
        throw TReaderError(std::string("The library's ") + what + " array does not match its count.");
}

void TLibrary::GetVertices(const THandle& mesh, uint32_t count, TPodArray<TPosition>& out) const
{
    FetchArray(Fn_.GetVertices, mesh, count, false, out, "vertex");
}

void TLibrary::GetTriangleIndices(const THandle& mesh, uint32_t count, TPodArray<TTriangle>& out) const
{
    FetchArray(Fn_.GetTriangleIndices, mesh, count, false, out, "triangle");
}

void TLibrary::GetAllTriangleProperties(const THandle& mesh, uint32_t maxCount,
                                        TPodArray<TTriangleProperties>& out) const
{
    FetchArray(Fn_.GetAllTriangleProperties, mesh, maxCount, true, out, "triangle property");
}

bool TLibrary::GetObjectLevelProperty(const THandle& mesh, uint32_t& resourceId, uint32_t& propertyId) const
{
    uint8_t hasProperty = 0;
    uint32_t uid = 0, pid = 0;
    Check(Fn_.GetObjectLevelProperty(mesh.Get(), &uid, &pid, &hasProperty), mesh.Get());
    if (!hasProperty) return false;
    resourceId = uid;
    propertyId = pid;
    return true;
}

THandle TLibrary::GetBaseMaterialGroupById(const THandle& model, uint32_t resourceId) const
{
    void* group = nullptr;
    Check(Fn_.GetBaseMaterialGroupById(model.Get(), resourceId, &group), model.Get());
    return Wrap(group);
}

TByteColor TLibrary::GetDisplayColor(const THandle& group, uint32_t propertyId) const
{
    TByteColor color{};
    Check(Fn_.GetDisplayColor(group.Get(), propertyId, &color), group.Get());
    return color;
}

template <typename Fn, typename... Args> THandle TLibrary::Obtain(Fn fn, const THandle& instance, Args... args) const
{
    void* out = nullptr;
    Check(fn(instance.Get(), args..., &out), instance.Get());
    return Wrap(out);
}

bool TLibrary::Ask(int32_t(VOXARO_CDECL* fn)(void*, uint8_t*), const THandle& instance) const
{
    uint8_t answer = 0;
    Check(fn(instance.Get(), &answer), instance.Get());
    return answer != 0;
}

int32_t TLibrary::GetPropertyTypeById(const THandle& model, uint32_t resourceId) const
{
    int32_t type = ptNone;
    Check(Fn_.GetPropertyTypeById(model.Get(), resourceId, &type), model.Get());
    return type;
}

THandle TLibrary::GetColorGroupById(const THandle& model, uint32_t resourceId) const
{
    return Obtain(Fn_.GetColorGroupById, model, resourceId);
}

TByteColor TLibrary::GetColor(const THandle& group, uint32_t propertyId) const
{
    TByteColor color{};
    Check(Fn_.GetColor(group.Get(), propertyId, &color), group.Get());
    return color;
}

THandle TLibrary::GetBuildItems(const THandle& model) const
{
    return Obtain(Fn_.GetBuildItems, model);
}

bool TLibrary::MoveNextBuildItem(const THandle& iterator) const
{
    return Ask(Fn_.MoveNextBuildItem, iterator);
}

THandle TLibrary::GetCurrentBuildItem(const THandle& iterator) const
{
    return Obtain(Fn_.GetCurrentBuildItem, iterator);
}

THandle TLibrary::GetBuildItemObject(const THandle& item) const
{
    return Obtain(Fn_.GetBuildItemObject, item);
}

TTransform TLibrary::GetBuildItemTransform(const THandle& item) const
{
    TTransform transform{};
    Check(Fn_.GetBuildItemTransform(item.Get(), &transform), item.Get());
    return transform;
}

bool TLibrary::IsMeshObject(const THandle& object) const
{
    return Ask(Fn_.IsMeshObject, object);
}

bool TLibrary::IsComponentsObject(const THandle& object) const
{
    return Ask(Fn_.IsComponentsObject, object);
}

uint32_t TLibrary::GetUniqueResourceId(const THandle& resource) const
{
    uint32_t id = 0;
    Check(Fn_.GetUniqueResourceId(resource.Get(), &id), resource.Get());
    return id;
}

uint32_t TLibrary::GetComponentCount(const THandle& components) const
{
    uint32_t count = 0;
    Check(Fn_.GetComponentCount(components.Get(), &count), components.Get());
    return count;
}

THandle TLibrary::GetComponent(const THandle& components, uint32_t index) const
{
    return Obtain(Fn_.GetComponent, components, index);
}

THandle TLibrary::GetComponentObject(const THandle& component) const
{
    return Obtain(Fn_.GetComponentObject, component);
}

TTransform TLibrary::GetComponentTransform(const THandle& component) const
{
    TTransform transform{};
    Check(Fn_.GetComponentTransform(component.Get(), &transform), component.Get());
    return transform;
}

}  // namespace voxaro::lib3mf
