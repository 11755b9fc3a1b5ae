// STL reader: the binary/ASCII decision and the binary records (the ASCII
// text is read in stl_ascii.cpp). The encoding is decided by the file size
// alone: a file of exactly 84 + 50 x count bytes is binary, anything else ASCII.
#include <algorithm>
#include <atomic>
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
constexpr uint64_t kTriangleBytes = 3 * sizeof(TGLVertex);
// The cores take runs of records whose vertices start at a 2 MiB step of the
// vertex block. A large block starts on a 2 MiB boundary, so two cores making
// pages ready never share a page table, nor wait for each other's lock on it.
constexpr uint64_t kRunBytes = uint64_t(2) << 20;
// A run is read in pieces of this many triangles: 125 KB of records and the
// 210 KB of vertices made from them stay in a core's cache from the read to
// the conversion (pieces of 1 MB took about 5% longer).
constexpr size_t kPieceTriangles = 2500;

// The first triangle whose vertices start at or past run r's step, or count.
uint32_t RunStart(uint64_t r, uint32_t count)
{
    return static_cast<uint32_t>(std::min<uint64_t>(count, (r * kRunBytes + kTriangleBytes - 1) / kTriangleBytes));
}

// Copies one 50-byte record into three vertices and adds them to box.
void StoreRecord(const unsigned char* record, TGLVertex* out, TBox& box)
{
    float f[12];
    std::memcpy(f, record, sizeof f);
    NormalizeVector(f[0], f[1], f[2]);
    for (uint32_t k = 0; k < 3; ++k) {
        SetGLVertex(out[k], f, f + 3 + 3 * k);
        box.Add(out[k]);
    }
}

// value = min(value, v), whichever thread gets there first.
void LowerTo(std::atomic<uint32_t>& value, uint32_t v)
{
    uint32_t seen = value;
    while (v < seen && !value.compare_exchange_weak(seen, v)) {
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
    if (!AllocateOwnRecords(vertexCount)) throw TOutOfMemory();

    // The parts take runs of records in turn as they come free, so a slower
    // core converts fewer of them. Each run keeps the box of its positions
    // while they are at hand. After a short read no new run is started: the
    // runs before it were all taken, so the first one in file order is the
    // one reported.
    const uint64_t runs = (uint64_t(triangleCount) * kTriangleBytes + kRunBytes - 1) / kRunBytes;
    std::vector<TBox> boxes(static_cast<size_t>(runs));
    std::atomic<uint64_t> nextRun{0};
    std::atomic<uint32_t> stopped{triangleCount};
    RunParts(PartsFor(kRecordSize * static_cast<uint64_t>(triangleCount)), [&](int) {
        std::unique_ptr<unsigned char[]> block(new unsigned char[kPieceTriangles * kRecordSize]);
        for (uint64_t r = nextRun++; r < runs && stopped == triangleCount; r = nextRun++) {
            const uint32_t last = RunStart(r + 1, triangleCount);
            const uint32_t done =
                ConvertRecords(file, block.get(), RunStart(r, triangleCount), last, boxes[static_cast<size_t>(r)]);
            if (done < last) LowerTo(stopped, done);
        }
    });
    if (stopped < triangleCount) {
        ErrorMsg = "STL Binary: Read error at triangle " + std::to_string(stopped) + ".";
        return false;
    }
    ObjectCount = 1;
    TBox box;
    for (const TBox& runBox : boxes)
        box.Add(runBox);
    SetBounds(box);
    InfoText =
        "STL Binary  |  Triangles: " + std::to_string(triangleCount) + "  |  Vertices: " + std::to_string(VertexCount);
    return true;
}

// Records [first, last) read piece by piece into block and converted into
// their vertices; returns last, or the first triangle a short read left out.
// Their positions are added to box.
uint32_t TMeshData::ConvertRecords(const TFile& file, unsigned char* block, uint32_t first, uint32_t last, TBox& box)
{
    // A box of our own: box itself could alias the vertices, and would be
    // read again after every store.
    TBox runBox;
    uint32_t at = first;
    while (at < last) {
        const size_t want = std::min<size_t>(last - at, kPieceTriangles);
        uint32_t error = 0;
        const size_t whole =
            file.ReadFullAt(84 + kRecordSize * uint64_t(at), block, want * kRecordSize, error) / kRecordSize;
        TGLVertex* out = &Vertices[3 * size_t(at)];
        // The piece's vertex pages made ready in one step, not one fault each.
        HintWriteSoon(out, 3 * want * sizeof(TGLVertex));
        for (size_t i = 0; i < whole; ++i)
            StoreRecord(block + i * kRecordSize, out + 3 * i, runBox);
        at += static_cast<uint32_t>(whole);
        if (whole < want) break;
    }
    box.Add(runBox);
    return at;
}

}  // namespace voxaro
