// The mesh model: one loaded 3D model as a triangle list whose vertex records
// go to OpenGL unchanged, plus the outcome of the load. STL and STEP write
// three records of their own for each triangle, in order, and keep no index
// array: corner i is record i. A 3MF model keeps one, since its objects
// without triangle materials share records between their triangles.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pod_allocator.h"

namespace voxaro {

class TFile;

#pragma pack(push, 1)
// Interleaved vertex record handed to glNormalPointer/glVertexPointer/glColorPointer
// with stride 28: normal at byte 0, position at 12, colour bytes at 24.
struct TGLVertex {
    float NX, NY, NZ;
    float X, Y, Z;
    uint8_t R, G, B, A;
};
#pragma pack(pop)

static_assert(sizeof(TGLVertex) == 28, "TGLVertex must be 28 bytes");
static_assert(offsetof(TGLVertex, NX) == 0, "normal at byte 0");
static_assert(offsetof(TGLVertex, X) == 12, "position at byte 12");
static_assert(offsetof(TGLVertex, R) == 24, "colour at byte 24");
static_assert(offsetof(TGLVertex, A) == 27, "alpha at byte 27");

constexpr uint8_t kDefaultGrey = 160;

// One vertex record: normal n, position p, colour r, g, b, a.
inline void SetGLVertex(TGLVertex& v, const float n[3], const float p[3], uint8_t r = kDefaultGrey,
                        uint8_t g = kDefaultGrey, uint8_t b = kDefaultGrey, uint8_t a = 255)
{
    v.NX = n[0], v.NY = n[1], v.NZ = n[2];
    v.X = p[0], v.Y = p[1], v.Z = p[2];
    v.R = r, v.G = g, v.B = b, v.A = a;
}

inline bool IsFinitePosition(const TGLVertex& v)
{
    return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z);
}

// Finite components whose squares overflow (about 1.8e19 and up) are scaled
// down first, so such a vector still gets its direction.
void ScaleDownHuge(float& x, float& y, float& z);

// Scales (x, y, z) to unit length; vectors of length 1e-12 or less (and NaN)
// become (0, 0, 1). Inline: readers call it once per triangle.
inline void NormalizeVector(float& x, float& y, float& z)
{
    float length = std::sqrt((x * x + y * y) + z * z);
    if (std::isinf(length)) {
        ScaleDownHuge(x, y, z);
        length = std::sqrt((x * x + y * y) + z * z);
    }
    if (static_cast<double>(length) > 1e-12 && std::isfinite(length)) {
        x /= length;
        y /= length;
        z /= length;
    } else {  // zero, tiny, NaN, or an infinite component
        x = 0.0f;
        y = 0.0f;
        z = 1.0f;
    }
}

// The box around the finite positions added so far. Adding another box gives
// the box of its positions added after ours, so parts of an array can each
// keep their own and be joined in order.
struct TBox {
    float Min[3] = {0, 0, 0}, Max[3] = {0, 0, 0};
    bool Empty = true;

    void Add(const TGLVertex& v)
    {
        if (!IsFinitePosition(v)) return;
        const float p[3] = {v.X, v.Y, v.Z};
        if (Empty) {
            Empty = false;
            for (int k = 0; k < 3; ++k)
                Min[k] = Max[k] = p[k];
            return;
        }
        for (int k = 0; k < 3; ++k) {
            if (p[k] < Min[k])
                Min[k] = p[k];
            else if (p[k] > Max[k])
                Max[k] = p[k];
        }
    }
    void Add(const TBox& later)
    {
        if (later.Empty) return;
        if (Empty) {
            *this = later;
            return;
        }
        for (int k = 0; k < 3; ++k) {
            if (later.Min[k] < Min[k]) Min[k] = later.Min[k];
            if (later.Max[k] > Max[k]) Max[k] = later.Max[k];
        }
    }
};

// Unit normal of the triangle p0, p1, p2 (counter-clockwise front), with the
// (0, 0, 1) fallback for degenerate triangles.
void TriangleNormal(const float p0[3], const float p1[3], const float p2[3], float n[3]);

class TMeshData {
public:
    // Only the first VertexCount / IndexCount entries are meaningful; the arrays
    // may be longer. Elements are left uninitialised when the arrays are sized.
    // IndexCount counts the corners of the triangles; Indices is empty when
    // corner i is record i (see Corner).
    std::vector<TGLVertex, TPodAllocator<TGLVertex>> Vertices;
    std::vector<uint32_t, TPodAllocator<uint32_t>> Indices;
    int32_t VertexCount = 0;
    int32_t IndexCount = 0;
    int32_t ObjectCount = 0;
    float CenterX = 0, CenterY = 0, CenterZ = 0;
    float Radius = 1.0f;
    std::string ErrorMsg;  // reason of the last failed load (UTF-8)
    std::string InfoText;  // one-line summary of a successful load (UTF-8)
    bool HasMaterial = false;

    TMeshData() = default;
    ~TMeshData() { Clear(); }
    TMeshData(const TMeshData&) = delete;
    TMeshData& operator=(const TMeshData&) = delete;

    // Back to the empty state: no arrays, counts 0, centre 0, radius 1, no texts.
    void Clear();
    // Centre and radius from the finite ones of the first VertexCount
    // positions; centre 0 and radius 1 when none is finite.
    void ComputeBounds();
    // Centre and radius from a box of the positions (as ComputeBounds does).
    void SetBounds(const TBox& box);

    // Reads a model file, choosing the reader by the name's extension:
    // .STP/.STEP to STEP, .STL to STL, anything else to 3MF. PluginDir locates
    // lib3mf. True: mesh filled and InfoText set; false: ErrorMsg says why.
    // Safe for untrusted input. A STEP file that cannot be opened raises a
    // TReaderError with its message instead (see reader_error.h).
    bool LoadFromFile(const std::wstring& FileName, const std::string& PluginDir);

    // STL readers (stl_reader.cpp). LoadBinarySTL reads the records after the
    // 84-byte header, in runs shared out to parts side by side for large files.
    bool LoadBinarySTL(TFile& file, uint32_t triangleCount);
    bool LoadAsciiSTL(TFile& file);
    // STEP reader (step_*.cpp): from a file, or from bytes in memory.
    bool LoadSTEP(const std::wstring& FileName);
    bool LoadSTEPFromMemory(const char* begin, const char* end);
    // 3MF reader.
    bool Load3MF(const std::wstring& FileName, const std::string& PluginDir);

    // The record at corner i of the triangle list (i < IndexCount).
    uint32_t Corner(size_t i) const { return Indices.empty() ? static_cast<uint32_t>(i) : Indices[i]; }

    // Sizes both arrays to exactly the given counts and sets the counts.
    // False (ErrorMsg untouched) when the sizes do not fit the address space.
    bool Allocate(uint64_t vertexCount, uint64_t indexCount);
    // Sizes the vertex array for triangles of three records each, in order:
    // no index array, IndexCount = VertexCount = vertexCount.
    bool AllocateOwnRecords(uint64_t vertexCount);

private:
    bool LoadSTL(const std::wstring& FileName);
    uint32_t ConvertRecords(const TFile& file, unsigned char* block, uint32_t first, uint32_t last, TBox& box);
};

}  // namespace voxaro
