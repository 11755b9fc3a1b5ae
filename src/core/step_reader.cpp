// STEP (ISO 10303-21) reader: parses the entity table, places assembly
// components, collects the planar faces of the boundary representation with
// their colours and triangulates them into the mesh.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "file_io.h"
#include "mesh_data.h"
#include "reader_error.h"
#include "step_scene.h"

namespace voxaro {

namespace {

// Point indices a load may gather, and steps its triangulation may take, for
// a file of the given size. Real models stay far below both (every index of a
// loop costs an oriented edge, an edge and a vertex in the file, some 50 bytes
// at the least); only references that repeat loops, faces or shells many
// times reach them.
uint64_t CollectedIndexLimit(size_t bytes)
{
    return static_cast<uint64_t>(bytes) / 8 + 262144;
}
uint64_t TriangulationWorkLimit(size_t bytes)
{
    return 100000000ull + 400ull * bytes;
}

bool ReadWholeFile(TFile& file, TStepScene& scene)
{
    uint64_t size = 0;
    if (!file.Size(size)) return false;
    if (size >= SIZE_MAX / 2) throw TOutOfMemory();
    scene.Buffer.reset(new char[static_cast<size_t>(size) + 1]);
    scene.BufferSize = file.ReadFull(scene.Buffer.get(), static_cast<size_t>(size));
    return scene.BufferSize == size;
}

// Points of the representation being walked are in `unit` millimetres.
void ScaleToMillimetres(TStepScene& scene, double unit)
{
    if (unit == 1 || !(unit > 0) || !std::isfinite(unit)) return;
    if (!scene.UseXform) MatIdentity(scene.Xform);
    for (int i = 0; i < 16; ++i)
        if (i % 4 != 3) scene.Xform[i] *= unit;  // rows x, y and z: the whole placement scaled
    scene.UseXform = true;
}

}  // namespace

void CollectFaces(TStepScene& scene)
{
    const double fileUnit = FileLengthUnit(scene);
    CollectPlacedShapes(scene, fileUnit);
    scene.UseXform = false;
    MatIdentity(scene.Xform);
    ScaleToMillimetres(scene, fileUnit);
    ++scene.Generation;
    for (uint8_t code : {stAdvancedFace, stPolyLoop}) {
        if (!scene.Faces.empty()) return;
        for (int32_t k = 0; k < scene.EntityCount; ++k) {
            const uint8_t type = scene.Entities[static_cast<size_t>(k)].TypeCode;
            if (code == stAdvancedFace && (type == stAdvancedFace || type == stFaceSurface))
                AddAdvancedFace(scene, k);
            else if (code == stPolyLoop && type == stPolyLoop)
                AddPolyLoopFace(scene, k);
        }
    }
}

namespace {

void SetCentreAndRadius(TStepScene& scene, TMeshData& mesh)
{
    if (scene.HasBounds) {
        const TStepVec3 &lo = scene.BoundsMin, &hi = scene.BoundsMax;
        scene.Center = {(lo.X + hi.X) / 2, (lo.Y + hi.Y) / 2, (lo.Z + hi.Z) / 2};
        scene.Extent = std::max({hi.X - lo.X, hi.Y - lo.Y, hi.Z - lo.Z});
        if (!(scene.Extent >= 1e-6)) scene.Extent = 1e-6;
    }
    // The bounds hold float-sized points only, so the centre fits a float;
    // the radius of a box up to 2 * FLT_MAX wide is held at FLT_MAX.
    mesh.CenterX = static_cast<float>(scene.Center.X);
    mesh.CenterY = static_cast<float>(scene.Center.Y);
    mesh.CenterZ = static_cast<float>(scene.Center.Z);
    mesh.Radius = static_cast<float>(std::min(scene.Extent * 0.5 * 1.7320508075688772, double(FLT_MAX)));
    if (!(mesh.Radius >= 0.001f)) mesh.Radius = 1.0f;
}

// Some triangle has all three corners finite as floats.
bool HasFiniteTriangle(const TMeshData& mesh)
{
    for (int32_t i = 0; i + 2 < mesh.VertexCount; i += 3) {
        const TGLVertex* v = &mesh.Vertices[static_cast<size_t>(i)];
        if (IsFinitePosition(v[0]) && IsFinitePosition(v[1]) && IsFinitePosition(v[2])) return true;
    }
    return false;
}

}  // namespace

// The scene's buffer holds the file; everything after the open runs here.
bool LoadStepScene(TStepScene& scene, TMeshData& mesh)
{
    ParseStepFile(scene);
    if (scene.EntityCount == 0) {
        mesh.ErrorMsg = "STEP: No entities found.";
        return false;
    }
    BuildIdIndex(scene);
    InitPointHash(scene);
    SetUpSampling(scene);
    scene.CollectedLimit = CollectedIndexLimit(scene.BufferSize);
    CollectFaces(scene);
    if (scene.Faces.empty()) {
        mesh.ErrorMsg = "STEP: No renderable faces found. (NURBS/B-SPLINE_SURFACE not supported)";
        return false;
    }
    TriangulateFaces(scene, mesh, TriangulationWorkLimit(scene.BufferSize));
    if (mesh.VertexCount == 0) {
        mesh.ErrorMsg = "STEP: Triangulation produced no vertices.";
        return false;
    }
    if (!HasFiniteTriangle(mesh)) {
        mesh.ErrorMsg = "STEP: Every triangle has a coordinate beyond the float range (about 3.4e38).";
        return false;
    }
    SetCentreAndRadius(scene, mesh);
    mesh.ObjectCount = static_cast<int32_t>(std::min<size_t>(scene.Faces.size(), INT32_MAX));
    mesh.InfoText = "STEP  |  Faces: " + std::to_string(mesh.ObjectCount) +
                    "  |  Triangles: " + std::to_string(mesh.IndexCount / 3);
    return true;
}

bool TMeshData::LoadSTEP(const std::wstring& FileName)
{
    TFile file;
    if (!file.Open(FileName)) throw TReaderError("STEP: Cannot open file (" + OpenErrorText(file.LastError()) + ")");
    return RunStage(ErrorMsg, "STEP: ", [&] {
        TStepScene scene;
        if (!ReadWholeFile(file, scene)) {
            ErrorMsg = "STEP: Read error.";
            return false;
        }
        file.Close();
        return LoadStepScene(scene, *this);
    });
}

bool TMeshData::LoadSTEPFromMemory(const char* begin, const char* end)
{
    Clear();
    return RunStage(ErrorMsg, "STEP: ", [&] {
        TStepScene scene;
        scene.BufferSize = static_cast<size_t>(end - begin);
        scene.Buffer.reset(new char[scene.BufferSize + 1]);
        if (scene.BufferSize) std::memcpy(scene.Buffer.get(), begin, scene.BufferSize);
        return LoadStepScene(scene, *this);
    });
}

}  // namespace voxaro
