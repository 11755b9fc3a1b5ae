// STL reader: the binary/ASCII decision and the binary records (the ASCII
// text is read in stl_ascii.cpp). The encoding is decided by the file size
// alone: a file of exactly 84 + 50 x count bytes is binary, anything else ASCII.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "file_io.h"
#include "memory_hint.h"
#include "mesh_data.h"
#include "parallel.h"
#include "reader_error.h"

namespace voxaro {

namespace {

constexpr size_t kRecordSize = 50;
// Binary records are read in blocks of this many triangles (about 1 MB).
constexpr size_t kBlockTriangles = 20000;

// Copies one 50-byte record into vertices 3i..3i+2 and adds them to box.
void StoreRecord(const unsigned char* record, TGLVertex* out, uint32_t* indices, uint32_t first, TBox& box)
{
    float f[12];
    std::memcpy(f, record, sizeof f);
    NormalizeVector(f[0], f[1], f[2]);
    for (uint32_t k = 0; k < 3; ++k) {
        SetGLVertex(out[k], f, f + 3 + 3 * k);
        indices[k] = first + k;
        box.Add(out[k]);
    }
}

}  // namespace

bool TMeshData::LoadSTL(const std::wstring& FileName)
{
    TFile file;
    if (!file.Open(FileName)) {
        ErrorMsg = "STL: Cannot open file (" + OpenErrorText(file.LastError()) + ")";
        return false;
    }
    return RunStage(ErrorMsg, "STL: ", [&] {
        unsigned char header[80];
        if (file.ReadFull(header, sizeof header) < sizeof header) {
            ErrorMsg = "STL: Header missing.";
            return false;
        }
        unsigned char countBytes[4];
        if (file.ReadFull(countBytes, sizeof countBytes) < sizeof countBytes) {
            ErrorMsg = "STL: Missing triangle count.";
            return false;
        }
        uint32_t count = static_cast<uint32_t>(countBytes[0]) | (static_cast<uint32_t>(countBytes[1]) << 8) |
                         (static_cast<uint32_t>(countBytes[2]) << 16) | (static_cast<uint32_t>(countBytes[3]) << 24);
        uint64_t size = 0;
        bool sized = file.Size(size);
        // Binary only when the size fits 32 bits (as GetFileSize's low half) and matches exactly.
        if (sized && size <= 0xFFFFFFFFull && size == 84 + 50 * static_cast<uint64_t>(count))
            return LoadBinarySTL(file, count);
        return LoadAsciiSTL(file);
    });
}

bool TMeshData::LoadBinarySTL(TFile& file, uint32_t triangleCount)
{
    if (triangleCount == 0) {
        ErrorMsg = "STL Binary: No triangles found.";
        return false;
    }
    uint64_t vertexCount = 3 * static_cast<uint64_t>(triangleCount);
    if (!Allocate(vertexCount, vertexCount)) throw TOutOfMemory();
    HintSequentialFill(Vertices.data(), Vertices.size() * sizeof(TGLVertex));
    HintSequentialFill(Indices.data(), Indices.size() * sizeof(uint32_t));

    // Each part converts its own run of records and keeps the box of its
    // positions while they are at hand; the first short read, in file order,
    // is the one reported.
    const int parts = PartsFor(kRecordSize * static_cast<uint64_t>(triangleCount));
    std::vector<uint32_t> stopped(static_cast<size_t>(parts), triangleCount);
    std::vector<TBox> boxes(static_cast<size_t>(parts));
    RunParts(parts, [&](int part) {
        const uint32_t first = static_cast<uint32_t>(uint64_t(triangleCount) * part / parts);
        const uint32_t last = static_cast<uint32_t>(uint64_t(triangleCount) * (part + 1) / parts);
        const uint32_t done = ConvertRecords(file, first, last, boxes[static_cast<size_t>(part)]);
        if (done < last) stopped[static_cast<size_t>(part)] = done;
    });
    for (uint32_t done : stopped)
        if (done < triangleCount) {
            ErrorMsg = "STL Binary: Read error at triangle " + std::to_string(done) + ".";
            return false;
        }
    ObjectCount = 1;
    TBox box;
    for (const TBox& partBox : boxes)
        box.Add(partBox);
    SetBounds(box);
    InfoText =
        "STL Binary  |  Triangles: " + std::to_string(triangleCount) + "  |  Vertices: " + std::to_string(VertexCount);
    return true;
}

// Records [first, last) into their vertices; returns last, or the first
// triangle a short read left out. Their positions are added to box.
uint32_t TMeshData::ConvertRecords(const TFile& file, uint32_t first, uint32_t last, TBox& box)
{
    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlockTriangles * kRecordSize]);
    uint32_t done = first;
    while (done < last) {
        const size_t want = std::min<size_t>(kBlockTriangles, last - done);
        uint32_t error = 0;
        const size_t got = file.ReadFullAt(84 + kRecordSize * uint64_t(done), block.get(), want * kRecordSize, error);
        const size_t whole = got / kRecordSize;
        for (size_t i = 0; i < whole; ++i) {
            const uint32_t v = 3 * (done + static_cast<uint32_t>(i));
            StoreRecord(block.get() + i * kRecordSize, &Vertices[v], &Indices[v], v, box);
        }
        done += static_cast<uint32_t>(whole);
        if (whole < want) return done;
    }
    return last;
}

}  // namespace voxaro
