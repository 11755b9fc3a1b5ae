// 3MF reader over lib3mf. The library is loaded from the plug-in's folder at
// the start of each read and unloaded at its end. What the package's build
// places is drawn: each build item at its transform, components objects
// followed down to their mesh objects with the transforms composed, a mesh
// used several times drawn each time. A package without build items shows
// every mesh object once at its own coordinates instead.
//
// Two passes: the first walks the build, counts and keeps one entry per mesh
// object with every place it is drawn at, so the arrays are sized once; the
// second fetches each mesh's arrays once and writes all its placements.
//
// A mesh without per-triangle properties shares its vertices (smooth normals,
// one colour for the object); one with them gets three vertex records per
// triangle (face normal, the triangle's colour). Colours come from base
// materials and colour groups.
#include <cstdint>
#include <exception>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "file_io.h"
#include "lib3mf_binding.h"
#include "mesh_data.h"
#include "reader_error.h"
#include "shared_library.h"

namespace voxaro {

namespace {

using lib3mf::TByteColor;
using lib3mf::THandle;
using lib3mf::TLibrary;
using lib3mf::TPosition;
using lib3mf::TTransform;
using lib3mf::TTriangle;
using lib3mf::TTriangleProperties;

constexpr TByteColor kObjectGrey = {kDefaultGrey, kDefaultGrey, kDefaultGrey, 255};
// Counts and offsets are 32-bit signed in the mesh.
constexpr uint64_t kMaxCount = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
// Components nested deeper than this are not followed.
constexpr int kMaxComponentDepth = 64;
// Build items, components and placements visited in one package.
constexpr uint64_t kMaxVisits = 1u << 20;
constexpr TTransform kIdentity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}};

const char kTooLarge[] = "The model is too large.";
const char kChanged[] = "The library's objects differ from what it counted.";

// a, then b: the row form of a * b.
TTransform Compose(const TTransform& a, const TTransform& b)
{
    TTransform r{};
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c) {
            double sum = row == 3 ? b.Fields[3][c] : 0.0;
            for (int k = 0; k < 3; ++k)
                sum += static_cast<double>(a.Fields[row][k]) * b.Fields[k][c];
            r.Fields[row][c] = static_cast<float>(sum);
        }
    return r;
}

double Determinant(const TTransform& t)
{
    const float(*m)[3] = t.Fields;
    return static_cast<double>(m[0][0]) *
               (static_cast<double>(m[1][1]) * m[2][2] - static_cast<double>(m[1][2]) * m[2][1]) -
           static_cast<double>(m[0][1]) *
               (static_cast<double>(m[1][0]) * m[2][2] - static_cast<double>(m[1][2]) * m[2][0]) +
           static_cast<double>(m[0][2]) *
               (static_cast<double>(m[1][0]) * m[2][1] - static_cast<double>(m[1][1]) * m[2][0]);
}

bool IsIdentity(const TTransform& t)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (t.Fields[r][c] != kIdentity.Fields[r][c]) return false;
    return true;
}

TPosition Apply(const TTransform& t, const TPosition& p)
{
    TPosition q;
    for (int c = 0; c < 3; ++c)
        q.Coordinates[c] = p.Coordinates[0] * t.Fields[0][c] + p.Coordinates[1] * t.Fields[1][c] +
                           p.Coordinates[2] * t.Fields[2][c] + t.Fields[3][c];
    return q;
}

// Fetches the object's triangle properties into props; true when any
// triangle has one. Errors are swallowed: no properties, false.
bool HasTriangleMaterials(const TLibrary& lib, const THandle& object, uint32_t triangleCount,
                          TPodArray<TTriangleProperties>& props)
{
    try {
        lib.GetAllTriangleProperties(object, triangleCount, props);
    } catch (const std::exception&) {
        props.Clear();
        return false;
    }
    for (size_t i = 0; i < props.size(); ++i)
        if (props[i].ResourceID != 0) return true;
    return false;
}

// Display colour of a base material or colour of a colour group; color is
// written only on success, and every error of the library here only means
// "no colour".
bool GetPropertyColor(const TLibrary& lib, const THandle& model, uint32_t resourceId, uint32_t propertyId,
                      TByteColor& color)
{
    if (resourceId == 0) return false;
    try {
        int32_t type = lib.GetPropertyTypeById(model, resourceId);
        if (type == lib3mf::ptBaseMaterial) {
            THandle group = lib.GetBaseMaterialGroupById(model, resourceId);
            color = lib.GetDisplayColor(group, propertyId);
            return true;
        }
        if (type == lib3mf::ptColors) {
            THandle group = lib.GetColorGroupById(model, resourceId);
            color = lib.GetColor(group, propertyId);
            return true;
        }
    } catch (const std::exception&) {
    }
    return false;
}

bool ObjectLevelColor(const TLibrary& lib, const THandle& model, const THandle& object, TByteColor& color)
{
    uint32_t resourceId = 0, propertyId = 0;
    return lib.GetObjectLevelProperty(object, resourceId, propertyId) &&
           GetPropertyColor(lib, model, resourceId, propertyId, color);
}

// One mesh object and every place the build draws it at.
struct TMeshEntry {
    THandle Object;
    uint32_t TriangleCount = 0;
    uint64_t Records = 0;  // vertex records of one placement
    std::vector<TTransform> Placements;
};

// The counting pass: walks the build (or, without build items, every mesh
// object once) and sums the records the filling pass will write.
class TBuildWalk {
public:
    TBuildWalk(const TLibrary& lib, const THandle& model, TMeshData& mesh) : Lib_(lib), Model_(model), Mesh_(mesh) {}

    void Run()
    {
        bool anyItem = false;
        THandle items = Lib_.GetBuildItems(Model_);
        while (Lib_.MoveNextBuildItem(items)) {
            anyItem = true;
            Visit();
            THandle item = Lib_.GetCurrentBuildItem(items);
            TTransform placement = Lib_.GetBuildItemTransform(item);
            Place(Lib_.GetBuildItemObject(item), placement, 0);
        }
        if (anyItem) return;
        THandle iterator = Lib_.GetMeshObjects(Model_);
        while (Lib_.MoveNext(iterator))
            AddMesh(Lib_.GetCurrentMeshObject(iterator), kIdentity);
    }

    std::vector<TMeshEntry> Entries;
    uint64_t VertexTotal = 0, TriangleTotal = 0;

private:
    void Visit()
    {
        if (++Visits_ > kMaxVisits) throw TReaderError(kTooLarge);
    }

    void Place(THandle object, const TTransform& placement, int depth)
    {
        if (Lib_.IsMeshObject(object)) return AddMesh(std::move(object), placement);
        if (!Lib_.IsComponentsObject(object) || depth >= kMaxComponentDepth) return;  // level sets are not drawn
        uint32_t id = Lib_.GetUniqueResourceId(object);
        for (uint32_t outer : Path_)
            if (outer == id) return;  // a loop: drawn from where it is entered
        Path_.push_back(id);
        uint32_t count = Lib_.GetComponentCount(object);
        for (uint32_t i = 0; i < count; ++i) {
            Visit();
            THandle component = Lib_.GetComponent(object, i);
            TTransform local = Lib_.GetComponentTransform(component);
            Place(Lib_.GetComponentObject(component), Compose(local, placement), depth + 1);
        }
        Path_.pop_back();
    }

    void AddMesh(THandle object, const TTransform& placement)
    {
        Visit();
        if (Mesh_.ObjectCount == INT32_MAX) throw TReaderError(kTooLarge);
        uint32_t id = Lib_.GetUniqueResourceId(object);
        auto found = Index_.find(id);
        if (found == Index_.end()) {
            TMeshEntry entry;
            entry.TriangleCount = Lib_.GetTriangleCount(object);
            uint32_t vertexCount = Lib_.GetVertexCount(object);
            bool perTriangle = HasTriangleMaterials(Lib_, object, entry.TriangleCount, Props_);
            // An object without triangles writes no vertices either.
            entry.Records = perTriangle ? 3ull * entry.TriangleCount : (entry.TriangleCount > 0 ? vertexCount : 0);
            if (!Mesh_.HasMaterial) {
                TByteColor unused = kObjectGrey;
                Mesh_.HasMaterial = ObjectLevelColor(Lib_, Model_, object, unused) || perTriangle;
            }
            entry.Object = std::move(object);
            found = Index_.emplace(id, Entries.size()).first;
            Entries.push_back(std::move(entry));
        }
        TMeshEntry& entry = Entries[found->second];
        entry.Placements.push_back(placement);
        TriangleTotal += entry.TriangleCount;
        VertexTotal += entry.Records;
        if (3 * TriangleTotal > kMaxCount || VertexTotal > kMaxCount) throw TReaderError(kTooLarge);
        ++Mesh_.ObjectCount;
    }

    const TLibrary& Lib_;
    const THandle& Model_;
    TMeshData& Mesh_;
    std::map<uint32_t, size_t> Index_;
    std::vector<uint32_t> Path_;
    TPodArray<TTriangleProperties> Props_;
    uint64_t Visits_ = 0;
};

// The filling pass: the mesh, what it may hold, and the first free entries.
struct TFill {
    TMeshData& Mesh;
    const TLibrary& Lib;
    const THandle& Model;
    uint64_t VertexCapacity = 0;
    uint64_t IndexCapacity = 0;
    uint32_t VertexOffset = 0;
    uint32_t IndexOffset = 0;
};

// An object's positions and triangles, each fetched whole, and the positions
// of the placement being written.
struct TObjectGeometry {
    TPodArray<TPosition> Positions;
    TPodArray<TTriangle> Triangles;
    TPodArray<TPosition> Moved;
    const TPosition* Placed = nullptr;
    uint32_t VertexCount = 0;
    int Order[3] = {0, 1, 2};  // corners in drawing order

    TObjectGeometry(const TLibrary& lib, const THandle& object, uint32_t vertexCount, uint32_t triangleCount)
        : VertexCount(vertexCount)
    {
        lib.GetVertices(object, vertexCount, Positions);
        lib.GetTriangleIndices(object, triangleCount, Triangles);
        Placed = Positions.data();
    }
    // Moves the positions to placement; a mirroring one turns the corner
    // order round so the triangles still face outwards.
    void PlaceAt(const TTransform& placement)
    {
        bool mirrored = Determinant(placement) < 0;
        Order[1] = mirrored ? 2 : 1;
        Order[2] = mirrored ? 1 : 2;
        if (IsIdentity(placement)) {
            Placed = Positions.data();
            return;
        }
        if (Moved.size() != Positions.size() && !Moved.Resize(Positions.size())) throw TOutOfMemory();
        for (size_t k = 0; k < Positions.size(); ++k)
            Moved[k] = Apply(placement, Positions[k]);
        Placed = Moved.data();
    }
    uint32_t Index(const TTriangle& t, int j) const { return t.Indices[Order[j]]; }
    const float* Corner(const TTriangle& t, int j) const { return Placed[Index(t, j)].Coordinates; }
    // The unit face normal; false when an index lies outside the object.
    bool FaceNormal(const TTriangle& t, float n[3]) const
    {
        if (t.Indices[0] >= VertexCount || t.Indices[1] >= VertexCount || t.Indices[2] >= VertexCount) return false;
        TriangleNormal(Corner(t, 0), Corner(t, 1), Corner(t, 2), n);
        return true;
    }
};

// The object's records must fit what the counting pass sized.
void CheckRoom(const TFill& f, uint64_t vertices, uint64_t indices)
{
    if (f.VertexOffset + vertices > f.VertexCapacity || f.IndexOffset + indices > f.IndexCapacity)
        throw TReaderError(kChanged);
}

// Shared layout: one record per vertex with the sum of the unit normals of
// its triangles, normalised. Triangles with an index outside the object are
// skipped.
void AddPlacementShared(TFill& f, const TObjectGeometry& geometry, uint32_t triangleCount, TByteColor color)
{
    uint32_t vertexCount = geometry.VertexCount;
    CheckRoom(f, vertexCount, 3ull * triangleCount);
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    TGLVertex* out = f.Mesh.Vertices.data() + f.VertexOffset;
    for (uint32_t k = 0; k < vertexCount; ++k)
        SetGLVertex(out[k], zero, geometry.Placed[k].Coordinates, color.Red, color.Green, color.Blue, color.Alpha);
    uint32_t* indices = f.Mesh.Indices.data() + f.IndexOffset;
    uint32_t written = 0;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        const TTriangle& tri = geometry.Triangles[t];
        float n[3];
        if (!geometry.FaceNormal(tri, n)) continue;
        for (uint32_t corner : tri.Indices) {
            out[corner].NX += n[0];
            out[corner].NY += n[1];
            out[corner].NZ += n[2];
        }
        for (int j = 0; j < 3; ++j)
            indices[3 * written + j] = f.VertexOffset + geometry.Index(tri, j);
        ++written;
    }
    for (uint32_t k = 0; k < vertexCount; ++k) {
        float x = out[k].NX, y = out[k].NY, z = out[k].NZ;
        NormalizeVector(x, y, z);
        out[k].NX = x;
        out[k].NY = y;
        out[k].NZ = z;
    }
    f.VertexOffset += vertexCount;
    f.IndexOffset += 3 * written;
}

// Flat layout: three records per triangle with its face normal and colour.
void AddPlacementFlat(TFill& f, const TObjectGeometry& geometry, uint32_t triangleCount,
                      const TPodArray<TByteColor>& colors)
{
    CheckRoom(f, 3ull * triangleCount, 3ull * triangleCount);
    TGLVertex* out = f.Mesh.Vertices.data() + f.VertexOffset;
    uint32_t* indices = f.Mesh.Indices.data() + f.IndexOffset;
    uint32_t written = 0;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        const TTriangle& tri = geometry.Triangles[t];
        float n[3];
        if (!geometry.FaceNormal(tri, n)) continue;
        const TByteColor& color = colors[t];
        uint32_t base = f.VertexOffset + 3 * written;
        for (int j = 0; j < 3; ++j) {
            SetGLVertex(out[3 * written + j], n, geometry.Corner(tri, j), color.Red, color.Green, color.Blue,
                        color.Alpha);
            indices[3 * written + j] = base + j;
        }
        ++written;
    }
    f.VertexOffset += 3 * written;
    f.IndexOffset += 3 * written;
}

// Each triangle's colour: its first corner's property, the object's colour
// without one.
void TriangleColors(const TFill& f, uint32_t triangleCount, const TPodArray<TTriangleProperties>& props,
                    TByteColor objectColor, TPodArray<TByteColor>& colors)
{
    if (!colors.Resize(triangleCount)) throw TOutOfMemory();
    // Neighbouring triangles mostly share their property: the last look-up is kept.
    uint32_t lastResource = 0, lastProperty = 0;
    bool lastFound = false;
    TByteColor lastColor = objectColor;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        colors[t] = objectColor;
        if (t >= props.size() || props[t].ResourceID == 0) continue;
        const TTriangleProperties& p = props[t];
        if (p.ResourceID != lastResource || p.PropertyIDs[0] != lastProperty) {
            lastResource = p.ResourceID;
            lastProperty = p.PropertyIDs[0];
            lastFound = GetPropertyColor(f.Lib, f.Model, lastResource, lastProperty, lastColor);
        }
        if (lastFound) colors[t] = lastColor;
    }
}

void FillEntry(TFill& f, const TMeshEntry& entry)
{
    const THandle& object = entry.Object;
    TByteColor color = kObjectGrey;
    ObjectLevelColor(f.Lib, f.Model, object, color);
    uint32_t triangleCount = f.Lib.GetTriangleCount(object);
    CheckRoom(f, 0, 3ull * triangleCount);  // before its properties are fetched
    TPodArray<TTriangleProperties> props;
    bool perTriangle = HasTriangleMaterials(f.Lib, object, triangleCount, props);
    uint32_t vertexCount = f.Lib.GetVertexCount(object);
    if (triangleCount == 0 || (!perTriangle && vertexCount == 0)) return;
    if (!perTriangle) CheckRoom(f, vertexCount, 0);
    TObjectGeometry geometry(f.Lib, object, vertexCount, triangleCount);
    TPodArray<TByteColor> colors;
    if (perTriangle) TriangleColors(f, triangleCount, props, color, colors);
    for (const TTransform& placement : entry.Placements) {
        geometry.PlaceAt(placement);
        if (perTriangle)
            AddPlacementFlat(f, geometry, triangleCount, colors);
        else
            AddPlacementShared(f, geometry, triangleCount, color);
    }
}

std::string EmptyModelText(int32_t objectCount)
{
    if (objectCount == 0) return "No mesh objects found.";
    return std::to_string(objectCount) + " mesh object(s), all empty.";
}

// lib3mf opens the file itself and would wait on a FIFO or read a device for
// ever: anything but a regular file is refused first. Other open failures are
// left to lib3mf, whose own words describe them.
void RefuseSpecialFile(const std::wstring& name)
{
    TFile file;
    if (!file.Open(name) && (file.LastError() == kNotRegularFile || file.LastError() == kFolder))
        throw TReaderError("Cannot open file (" + OpenErrorText(file.LastError()) + ")");
}

}  // namespace

bool TMeshData::Load3MF(const std::wstring& FileName, const std::string& PluginDir)
{
    const std::string libraryPath = Lib3mfLibraryPath(PluginDir);
    const std::string loadPrefix = "lib3mf.dll not loaded (" + libraryPath + "): ";
    TLibrary lib;  // declared first: unloaded after every handle below is released
    bool loaded = RunStage(ErrorMsg, loadPrefix.c_str(), [&] {
        lib.Load(libraryPath);
        return true;
    });
    if (!loaded) return false;
    THandle model;
    bool created = RunStage(ErrorMsg, "CreateModel: ", [&] {
        model = lib.CreateModel();
        return true;
    });
    if (!created) return false;
    bool read = RunStage(ErrorMsg, "3MF read error: ", [&] {
        RefuseSpecialFile(FileName);
        THandle reader = lib.QueryReader(model, "3mf");
        lib.ReadFromFile(reader, FileNameBytes(FileName));
        return true;
    });
    if (!read) return false;

    TBuildWalk walk(lib, model, *this);
    bool counted = RunStage(ErrorMsg, "3MF iteration error: ", [&] {
        walk.Run();
        return true;
    });
    if (!counted) return false;
    const uint64_t vertexTotal = walk.VertexTotal, triangleTotal = walk.TriangleTotal;
    if (vertexTotal == 0) {
        ErrorMsg = EmptyModelText(ObjectCount);
        return false;
    }

    // Outside every stage: a mesh that cannot be had leaves LoadFromFile.
    if (!Allocate(vertexTotal, 3 * triangleTotal)) throw TOutOfMemory();
    TFill fill{*this, lib, model, vertexTotal, 3 * triangleTotal};
    bool filled = RunStage(ErrorMsg, "3MF geometry error: ", [&] {
        for (const TMeshEntry& entry : walk.Entries)
            FillEntry(fill, entry);
        return true;
    });
    if (!filled) {
        std::string error = ErrorMsg;
        Clear();  // no partial geometry remains
        ErrorMsg = error;
        return false;
    }
    // Skipped triangles leave the counts at what was written.
    VertexCount = static_cast<int32_t>(fill.VertexOffset);
    IndexCount = static_cast<int32_t>(fill.IndexOffset);
    ComputeBounds();
    InfoText = "3MF  |  Objects: " + std::to_string(ObjectCount) + "  |  Vertices: " + std::to_string(VertexCount) +
               "  |  Triangles: " + std::to_string(IndexCount / 3);
    if (HasMaterial) InfoText += "  |  Material: Yes";
    return true;
}

}  // namespace voxaro
