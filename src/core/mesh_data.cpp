#include "mesh_data.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "text_scan.h"

namespace voxaro {

void ScaleDownHuge(float& x, float& y, float& z)
{
    float m = std::max(std::fabs(x), std::max(std::fabs(y), std::fabs(z)));
    if (std::isfinite(m) && m > 1e18f) {
        x /= m;
        y /= m;
        z /= m;
    }
}

void TriangleNormal(const float p0[3], const float p1[3], const float p2[3], float n[3])
{
    float u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    float v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    n[0] = u[1] * v[2] - u[2] * v[1];
    n[1] = u[2] * v[0] - u[0] * v[2];
    n[2] = u[0] * v[1] - u[1] * v[0];
    NormalizeVector(n[0], n[1], n[2]);
}

void TMeshData::Clear()
{
    // Assigning a fresh vector frees the storage; "= {}" would only empty it.
    Vertices = decltype(Vertices)();
    Indices = decltype(Indices)();
    VertexCount = IndexCount = ObjectCount = 0;
    CenterX = CenterY = CenterZ = 0.0f;
    Radius = 1.0f;
    ErrorMsg.clear();
    InfoText.clear();
    HasMaterial = false;
}

bool TMeshData::Allocate(uint64_t vertexCount, uint64_t indexCount)
{
    constexpr uint64_t kMaxCount = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    if (vertexCount > kMaxCount || indexCount > kMaxCount) return false;
    // Both arrays together must fit the address space (2 GB on x86) with room to spare.
    uint64_t bytes = vertexCount * sizeof(TGLVertex) + indexCount * sizeof(uint32_t);
    if (bytes > static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max() / 2)) return false;
    try {
        Vertices.resize(static_cast<size_t>(vertexCount));
        Indices.resize(static_cast<size_t>(indexCount));
    } catch (const std::bad_alloc&) {
        Vertices = decltype(Vertices)();
        Indices = decltype(Indices)();
        return false;
    } catch (const std::length_error&) {
        Vertices = decltype(Vertices)();
        Indices = decltype(Indices)();
        return false;
    }
    VertexCount = static_cast<int32_t>(vertexCount);
    IndexCount = static_cast<int32_t>(indexCount);
    return true;
}

bool TMeshData::AllocateOwnRecords(uint64_t vertexCount)
{
    if (!Allocate(vertexCount, 0)) return false;
    IndexCount = VertexCount;
    return true;
}

// Positions with a NaN or an infinite coordinate are left out of the box;
// without any finite position the model is centred at the origin.
void TMeshData::ComputeBounds()
{
    if (VertexCount <= 0) {
        Radius = 1.0f;
        return;
    }
    TBox box;
    const TGLVertex* v = Vertices.data();
    for (int32_t i = 0; i < VertexCount; ++i)
        box.Add(v[i]);
    SetBounds(box);
}

void TMeshData::SetBounds(const TBox& box)
{
    if (box.Empty) {
        CenterX = CenterY = CenterZ = 0.0f;
        Radius = 1.0f;
        return;
    }
    const float minX = box.Min[0], minY = box.Min[1], minZ = box.Min[2];
    const float maxX = box.Max[0], maxY = box.Max[1], maxZ = box.Max[2];
    // Halves first: the same centre as (min + max) * 0.5, without overflow.
    CenterX = minX * 0.5f + maxX * 0.5f;
    CenterY = minY * 0.5f + maxY * 0.5f;
    CenterZ = minZ * 0.5f + maxZ * 0.5f;
    float dx = maxX - minX, dy = maxY - minY, dz = maxZ - minZ;
    Radius = 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!std::isfinite(Radius)) {  // finite but huge coordinates: worked out in double
        double ex = double(maxX) - minX, ey = double(maxY) - minY, ez = double(maxZ) - minZ;
        Radius = static_cast<float>(std::min(0.5 * std::sqrt(ex * ex + ey * ey + ez * ez), double(FLT_MAX)));
    }
    if (Radius < 0.001f) Radius = 1.0f;
}

bool TMeshData::LoadFromFile(const std::wstring& FileName, const std::string& PluginDir)
{
    Clear();
    const std::wstring ext = UpperExtension(FileName);
    if (ext == L".STP" || ext == L".STEP") return LoadSTEP(FileName);
    if (ext == L".STL") return LoadSTL(FileName);
    return Load3MF(FileName, PluginDir);
}

}  // namespace voxaro
