// ASCII STL reader. One pass over the text in chunks of 1 MiB, read side by
// side on large files and joined in file order.
//
// The rules, line by line (lines end at CR LF, LF or a lone CR; tokens are
// runs of bytes above 32):
// - a line whose first token is "facet" followed by a space (the byte 32)
//   counts one facet; the mesh keeps at most three vertices per facet line;
// - "facet normal a b c ..." sets the normal: each of a, b, c that converts
//   replaces its component, the others keep theirs, and the result is made
//   unit length. Vertices before the first such line get (0, 0, 0);
// - "vertex x y z ..." adds a vertex when all three convert;
// - everything else, and any line of fewer than four tokens, is ignored.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "decimal.h"
#include "file_io.h"
#include "memory_hint.h"
#include "mesh_data.h"
#include "parallel.h"
#include "pod_allocator.h"
#include "reader_error.h"
#include "text_scan.h"

namespace voxaro {

namespace {

constexpr uint64_t kAsciiLimit = 64ull * 1024 * 1024;
// Bytes of the shortest line that adds a vertex, "vertex 1 2 3" and its
// break: no part can hold more vertices than its bytes over this.
constexpr uint64_t kShortestVertexLine = 13;
constexpr size_t kBlockBytes = 256 * 1024;

struct Token {
    const char* Begin;
    const char* End;
};

bool IsLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

// The next token at or after p before the line's break (or e); false when
// none is left on the line.
[[gnu::always_inline]] inline bool NextToken(const char*& p, const char* e, Token& t)
{
    while (p < e && IsBlank(*p) && !IsLineBreak(*p))
        ++p;
    if (p == e || IsLineBreak(*p)) return false;
    t.Begin = p;
    t.End = p = FindBlank(p, e);
    return true;
}

bool ConvertToken(const Token& t, float& out)
{
    if (t.End - t.Begin >= 256) return false;
    double d = 0;
    if (!ParseDecimalOrSpecial(t.Begin, t.End, d)) return false;
    // Round to nearest float: values from halfway between FLT_MAX and 2^128
    // upwards become infinity, smaller ones round down to FLT_MAX.
    constexpr double kOverflow = 0x1.ffffffp+127;  // (2 - 2^-24) * 2^127
    if (d >= kOverflow)
        out = std::numeric_limits<float>::infinity();
    else if (d <= -kOverflow)
        out = -std::numeric_limits<float>::infinity();
    else
        out = static_cast<float>(d);
    return true;
}

// Just past the last CR or LF in [p, end), or p when there is none.
const char* PastLastBreak(const char* p, const char* end)
{
    for (const char* q = end; q > p; --q)
        if (q[-1] == '\n' || q[-1] == '\r') return q;
    return p;
}

// Calls fn(lineBegin, limit) for each line starting at an offset in
// [begin, end) of a file of the given size; fn reads the line up to its break
// (never past limit) and returns where the break is, or limit. The file is
// read block by block into block (not empty), and fn only sees whole lines;
// a line longer than the block grows the block. A line starts at offset 0 and
// after every CR or LF, so an empty line may stand between CR and LF. False
// on a read error.
template <typename Fn>
bool ForEachLineAt(const TFile& file, uint64_t size, uint64_t begin, uint64_t end, std::vector<char>& block, Fn&& fn)
{
    // The first line starts after the first break at begin - 1 or later.
    bool skipping = begin > 0;
    uint64_t at = skipping ? begin - 1 : 0;  // offset of block[0]
    size_t kept = 0;                         // bytes of an unfinished line at the front
    for (;;) {
        if (kept == block.size()) block.resize(static_cast<size_t>(std::min<uint64_t>(2 * kept, size - at + 1)));
        const uint64_t from = at + kept;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size() - kept, size - from));
        uint32_t error = 0;
        const size_t got = file.ReadFullAt(from, block.data() + kept, want, error);
        if (got < want) return false;
        const bool last = from + got == size;
        const char* p = block.data();
        const char* e = p + kept + got;
        if (skipping) {
            const char* q = FindLineBreak(p, e);
            if (q == e) {
                if (last) return true;
                at += static_cast<uint64_t>(e - p), kept = 0;
                continue;
            }
            skipping = false;
            p = q + 1;
        }
        const char* whole = last ? e : PastLastBreak(p, e);
        while (p < whole) {
            if (at + static_cast<uint64_t>(p - block.data()) >= end) return true;
            const char* q = fn(p, whole);
            if (q == whole) break;
            p = q + 1;
        }
        if (last) return true;
        kept = static_cast<size_t>(e - whole);
        std::memmove(block.data(), whole, kept);
        at = from + got - kept;
    }
}

// One chunk of the file and what reading it gave.
struct TChunk {
    uint64_t Begin = 0, End = 0;  // its lines start in [Begin, End)
    size_t Count = 0;             // vertices made
    size_t Leading = 0;           // of those, made before the normal was its own
    uint64_t Facets = 0;          // facet lines counted
    float Normal[3] = {0, 0, 0};  // the normal after its last line
    bool OwnNormal = false;       // Normal no longer depends on the one it came in with
    bool NeedsIncoming = false;   // a facet line kept components of the incoming normal
    bool ReadFailed = false;
};

// The vertices a chunk of this many bytes can hold at most: one per 13
// bytes, and its last line may start just before its end.
size_t ChunkCapacity(uint64_t bytes)
{
    return static_cast<size_t>(bytes / kShortestVertexLine) + 1;
}

// The lines of one chunk, as they arrive, into a buffer of its capacity.
class TChunkReader {
public:
    TChunkReader(TChunk& chunk, TGLVertex* out, size_t capacity) : Chunk_(chunk), Out_(out), Capacity_(capacity) {}
    size_t Made() const { return Made_; }

    // Reads the line at p (ending at its break or at e); returns where it ends.
    const char* Line(const char* p, const char* e)
    {
        Rule(p, e);
        return FindLineBreak(p, e);
    }

private:
    // Only the tokens a rule needs are looked at: a line counts as many
    // tokens as the rule asks for once they are there. p ends past the last
    // token looked at.
    void Rule(const char*& p, const char* e)
    {
        Token first, t;
        if (!NextToken(p, e, first)) return;
        if (EqualsNoCase(first.Begin, first.End, "vertex")) {
            float v[3];
            for (float& c : v)
                if (!NextToken(p, e, t) || !ConvertToken(t, c)) return;
            if (Made_ == Capacity_) return;
            SetGLVertex(Out_[Made_++], Chunk_.Normal, v);
            if (!Chunk_.OwnNormal) ++Chunk_.Leading;
        } else if (EqualsNoCase(first.Begin, first.End, "facet")) {
            // Counted when a space follows "facet"; any blank will do for the normal.
            if (!NextToken(p, e, t)) return;
            if (*first.End == ' ') ++Chunk_.Facets;
            if (EqualsNoCase(t.Begin, t.End, "normal")) Normal(p, e);
        }
    }

    // "facet normal" and what follows it.
    void Normal(const char*& p, const char* e)
    {
        Token t[3];
        for (Token& token : t)
            if (!NextToken(p, e, token)) return;
        float* normal = Chunk_.Normal;
        bool all = true;
        for (int k = 0; k < 3; ++k)
            all = ConvertToken(t[k], normal[k]) && all;
        if (!all && !Chunk_.OwnNormal) Chunk_.NeedsIncoming = true;
        Chunk_.OwnNormal = true;
        NormalizeVector(normal[0], normal[1], normal[2]);
    }

    TChunk& Chunk_;
    TGLVertex* Out_;
    size_t Capacity_;
    size_t Made_ = 0;
};

// Reads a chunk's lines into out. With incoming, the normal at its start is
// known; without, the vertices before its first facet line are left for the
// caller to finish, and a facet line that keeps components of that unknown
// normal marks the chunk to be read again.
void ReadChunk(const TFile& file, uint64_t size, const float* incoming, TChunk& chunk, TGLVertex* out,
               std::vector<char>& block)
{
    chunk.Leading = 0;
    chunk.Facets = 0;
    chunk.OwnNormal = incoming != nullptr;
    chunk.NeedsIncoming = false;
    if (incoming) std::memcpy(chunk.Normal, incoming, sizeof chunk.Normal);
    TChunkReader reader(chunk, out, ChunkCapacity(chunk.End - chunk.Begin));
    chunk.ReadFailed = !ForEachLineAt(file, size, chunk.Begin, chunk.End, block,
                                      [&reader](const char* b, const char* e) { return reader.Line(b, e); });
    chunk.Count = reader.Made();
}

// Chunks are read side by side, each into its reader's own buffer, and join
// the mesh in file order: the one whose turn it is learns the normal it came
// in with and copies its vertices behind the previous chunk's.
class TChunkedRead {
public:
    TChunkedRead(const TFile& file, uint64_t size, TGLVertex* mesh) : File_(file), Size_(size), Mesh_(mesh)
    {
        Chunks_ = static_cast<size_t>((size + kChunkBytes - 1) / kChunkBytes);
    }
    static size_t MeshCapacity(uint64_t size)
    {
        const uint64_t chunks = (size + kChunkBytes - 1) / kChunkBytes;
        return static_cast<size_t>(size / kShortestVertexLine + chunks);
    }

    // One reader's work: chunks taken in turn until none is left.
    void Run()
    {
        // Both buffers are kept from chunk to chunk.
        std::vector<TGLVertex, TPodAllocator<TGLVertex>> buffer(ChunkCapacity(std::min(Size_, kChunkBytes)));
        std::vector<char> block(static_cast<size_t>(std::min<uint64_t>(kBlockBytes, Size_ + 1)));
        try {
            for (size_t c = Next_++; c < Chunks_; c = Next_++) {
                TChunk chunk;
                chunk.Begin = c * kChunkBytes;
                chunk.End = std::min<uint64_t>(Size_, chunk.Begin + kChunkBytes);
                ReadChunk(File_, Size_, c == 0 ? kStart : nullptr, chunk, buffer.data(), block);
                if (!WaitTurn(c)) return;
                const bool ok = Join(chunk, buffer.data(), block);
                EndTurn(ok);
                if (!ok) return;
            }
        } catch (...) {
            EndTurn(false);
            throw;
        }
    }

    bool ReadFailed() const { return ReadFailed_; }
    size_t Vertices() const { return Filled_; }
    uint64_t Facets() const { return Facets_; }

private:
    static constexpr uint64_t kChunkBytes = uint64_t(1) << 20;
    static constexpr float kStart[3] = {0, 0, 0};

    bool WaitTurn(size_t c)
    {
        std::unique_lock<std::mutex> lock(Mutex_);
        TurnTaken_.wait(lock, [&] { return Turn_ == c || Stopped_; });
        return !Stopped_;
    }
    void EndTurn(bool ok)
    {
        {
            std::lock_guard<std::mutex> lock(Mutex_);
            ++Turn_;
            Stopped_ = Stopped_ || !ok;
        }
        TurnTaken_.notify_all();
    }

    // The chunk joins the mesh; false after a read error.
    bool Join(TChunk& chunk, TGLVertex* vertices, std::vector<char>& block)
    {
        if (chunk.NeedsIncoming && !chunk.ReadFailed) ReadChunk(File_, Size_, Incoming_, chunk, vertices, block);
        if (chunk.ReadFailed) {
            ReadFailed_ = true;
            return false;
        }
        for (size_t i = 0; i < chunk.Leading; ++i)
            vertices[i].NX = Incoming_[0], vertices[i].NY = Incoming_[1], vertices[i].NZ = Incoming_[2];
        std::memcpy(Mesh_ + Filled_, vertices, chunk.Count * sizeof(TGLVertex));
        Filled_ += chunk.Count;
        Facets_ += chunk.Facets;
        if (chunk.OwnNormal) std::memcpy(Incoming_, chunk.Normal, sizeof Incoming_);
        return true;
    }

    const TFile& File_;
    const uint64_t Size_;
    TGLVertex* const Mesh_;
    size_t Chunks_ = 0;
    std::atomic<size_t> Next_{0};
    std::mutex Mutex_;
    std::condition_variable TurnTaken_;
    size_t Turn_ = 0;
    bool Stopped_ = false;
    // Touched only by the reader whose turn it is.
    float Incoming_[3] = {0, 0, 0};
    size_t Filled_ = 0;
    uint64_t Facets_ = 0;
    bool ReadFailed_ = false;
};

}  // namespace

bool TMeshData::LoadAsciiSTL(TFile& file)
{
    uint64_t size = 0;
    if (!file.Size(size)) {
        ErrorMsg = "ASCII-STL: Read error.";
        return false;
    }
    if (size > kAsciiLimit) {
        ErrorMsg = "ASCII-STL: File too large (max. 64 MB).";
        return false;
    }
    const size_t capacity = TChunkedRead::MeshCapacity(size);
    if (!Allocate(capacity, 0)) throw TOutOfMemory();
    HintSequentialFill(Vertices.data(), capacity * sizeof(TGLVertex));
    TChunkedRead read(file, size, Vertices.data());
    RunParts(PartsFor(size), [&read](int) { read.Run(); });
    if (read.ReadFailed()) {
        ErrorMsg = "ASCII-STL: Read error.";
        return false;
    }
    if (read.Facets() == 0) {
        ErrorMsg = "ASCII-STL: No triangles found.";
        return false;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(read.Vertices(), 3 * read.Facets()));
    if (!Allocate(capacity, n)) throw TOutOfMemory();
    for (size_t i = 0; i < n; ++i)
        Indices[i] = static_cast<uint32_t>(i);
    VertexCount = IndexCount = static_cast<int32_t>(n);
    ObjectCount = 1;
    ComputeBounds();
    InfoText = "STL ASCII  |  Triangles: " + std::to_string(n / 3) + "  |  Vertices: " + std::to_string(n);
    return true;
}

}  // namespace voxaro
