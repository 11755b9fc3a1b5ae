// 3MF reader over lib3mf. The library is loaded from the plug-in's folder at
// the start of each read and unloaded at its end. Every mesh object of the
// model is merged into one mesh at its own coordinates, in two passes: one
// that counts, so the arrays are sized once, and one that fills them.
//
// An object without per-triangle materials shares its vertices (smooth
// normals, one colour for the object); an object with them gets three vertex
// records per triangle (face normal, the triangle's colour). Colours come from
// base materials only.
#include <cstdint>
#include <exception>
#include <limits>
#include <string>

#include "file_io.h"
#include "lib3mf_binding.h"
#include "memory_hint.h"
#include "mesh_data.h"
#include "reader_error.h"
#include "shared_library.h"

namespace voxaro {

namespace {

using lib3mf::TByteColor;
using lib3mf::THandle;
using lib3mf::TLibrary;
using lib3mf::TPosition;
using lib3mf::TTriangle;
using lib3mf::TTriangleProperties;

constexpr TByteColor kObjectGrey = {kDefaultGrey, kDefaultGrey, kDefaultGrey, 255};
// Counts and offsets are 32-bit signed in the mesh.
constexpr uint64_t kMaxCount = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());

const char kTooLarge[] = "The model is too large.";
const char kChanged[] = "The library's objects differ from what it counted.";

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

// Display colour of a base material; color is written only on success, and
// every error of the library here only means "no colour".
bool GetMaterialColor(const TLibrary& lib, const THandle& model, uint32_t resourceId, uint32_t propertyId,
                      TByteColor& color)
{
    if (resourceId == 0) return false;
    try {
        THandle group = lib.GetBaseMaterialGroupById(model, resourceId);
        color = lib.GetDisplayColor(group, propertyId);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ObjectLevelColor(const TLibrary& lib, const THandle& model, const THandle& object, TByteColor& color)
{
    uint32_t resourceId = 0, propertyId = 0;
    return lib.GetObjectLevelProperty(object, resourceId, propertyId) &&
           GetMaterialColor(lib, model, resourceId, propertyId, color);
}

// An object's positions and triangles, each fetched whole.
struct TObjectGeometry {
    TPodArray<TPosition> Positions;
    TPodArray<TTriangle> Triangles;
    uint32_t VertexCount = 0;

    TObjectGeometry(const TLibrary& lib, const THandle& object, uint32_t vertexCount, uint32_t triangleCount)
        : VertexCount(vertexCount)
    {
        lib.GetVertices(object, vertexCount, Positions);
        lib.GetTriangleIndices(object, triangleCount, Triangles);
    }
    const float* Corner(const TTriangle& t, int j) const { return Positions[t.Indices[j]].Coordinates; }
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
void AddMeshObjectShared(TFill& f, const THandle& object, uint32_t triangleCount, TByteColor color)
{
    uint32_t vertexCount = f.Lib.GetVertexCount(object);
    if (vertexCount == 0 || triangleCount == 0) return;
    CheckRoom(f, vertexCount, 3ull * triangleCount);
    const TObjectGeometry geometry(f.Lib, object, vertexCount, triangleCount);

    const float zero[3] = {0.0f, 0.0f, 0.0f};
    TGLVertex* out = f.Mesh.Vertices.data() + f.VertexOffset;
    for (uint32_t k = 0; k < vertexCount; ++k)
        SetGLVertex(out[k], zero, geometry.Positions[k].Coordinates, color.Red, color.Green, color.Blue, color.Alpha);
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
            indices[3 * written + j] = f.VertexOffset + tri.Indices[j];
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

// Flat layout: three records per triangle with its face normal and the
// colour of its first corner's material (the object's colour without one).
void AddMeshObjectFlat(TFill& f, const THandle& object, uint32_t triangleCount,
                       const TPodArray<TTriangleProperties>& props, TByteColor objectColor)
{
    if (triangleCount == 0) return;
    CheckRoom(f, 3ull * triangleCount, 3ull * triangleCount);
    const TObjectGeometry geometry(f.Lib, object, f.Lib.GetVertexCount(object), triangleCount);

    // Neighbouring triangles mostly share their material: the last look-up is kept.
    uint32_t lastResource = 0, lastProperty = 0;
    bool lastFound = false;
    TByteColor lastColor = objectColor;

    TGLVertex* out = f.Mesh.Vertices.data() + f.VertexOffset;
    uint32_t* indices = f.Mesh.Indices.data() + f.IndexOffset;
    uint32_t written = 0;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        const TTriangle& tri = geometry.Triangles[t];
        float n[3];
        if (!geometry.FaceNormal(tri, n)) continue;
        TByteColor color = objectColor;
        if (t < props.size() && props[t].ResourceID != 0) {
            const TTriangleProperties& p = props[t];
            if (p.ResourceID != lastResource || p.PropertyIDs[0] != lastProperty) {
                lastResource = p.ResourceID;
                lastProperty = p.PropertyIDs[0];
                lastFound = GetMaterialColor(f.Lib, f.Model, lastResource, lastProperty, lastColor);
            }
            if (lastFound) color = lastColor;
        }
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

// The counting pass: vertex records and triangles of all objects, the object
// count and whether any colour will be shown.
void CountObjects(const TLibrary& lib, const THandle& model, TMeshData& mesh, uint64_t& vertexTotal,
                  uint64_t& triangleTotal)
{
    TPodArray<TTriangleProperties> props;
    THandle iterator = lib.GetMeshObjects(model);
    while (lib.MoveNext(iterator)) {
        THandle object = lib.GetCurrentMeshObject(iterator);
        uint32_t vertexCount = lib.GetVertexCount(object);
        uint32_t triangleCount = lib.GetTriangleCount(object);
        triangleTotal += triangleCount;
        if (3 * triangleTotal > kMaxCount || mesh.ObjectCount == INT32_MAX) throw TReaderError(kTooLarge);
        bool perTriangle = HasTriangleMaterials(lib, object, triangleCount, props);
        // An object without triangles writes no vertices either.
        vertexTotal += perTriangle ? 3ull * triangleCount : (triangleCount > 0 ? vertexCount : 0);
        if (vertexTotal > kMaxCount) throw TReaderError(kTooLarge);
        ++mesh.ObjectCount;
        if (!mesh.HasMaterial) {
            TByteColor unused = kObjectGrey;
            mesh.HasMaterial = ObjectLevelColor(lib, model, object, unused) || perTriangle;
        }
    }
}

void FillObjects(TFill& f)
{
    TPodArray<TTriangleProperties> props;
    THandle iterator = f.Lib.GetMeshObjects(f.Model);
    while (f.Lib.MoveNext(iterator)) {
        THandle object = f.Lib.GetCurrentMeshObject(iterator);
        TByteColor color = kObjectGrey;
        ObjectLevelColor(f.Lib, f.Model, object, color);
        uint32_t triangleCount = f.Lib.GetTriangleCount(object);
        CheckRoom(f, 0, 3ull * triangleCount);  // before its properties are fetched
        if (HasTriangleMaterials(f.Lib, object, triangleCount, props))
            AddMeshObjectFlat(f, object, triangleCount, props, color);
        else
            AddMeshObjectShared(f, object, triangleCount, color);
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

    uint64_t vertexTotal = 0, triangleTotal = 0;
    bool counted = RunStage(ErrorMsg, "3MF iteration error: ", [&] {
        return CountObjects(lib, model, *this, vertexTotal, triangleTotal), true;
    });
    if (!counted) return false;
    if (vertexTotal == 0) {
        ErrorMsg = EmptyModelText(ObjectCount);
        return false;
    }

    // Outside every stage: a mesh that cannot be had leaves LoadFromFile.
    if (!Allocate(vertexTotal, 3 * triangleTotal)) throw TOutOfMemory();
    HintSequentialFill(Vertices.data(), Vertices.size() * sizeof(TGLVertex));
    HintSequentialFill(Indices.data(), Indices.size() * sizeof(uint32_t));
    TFill fill{*this, lib, model, vertexTotal, 3 * triangleTotal};
    bool filled = RunStage(ErrorMsg, "3MF geometry error: ", [&] {
        FillObjects(fill);
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
