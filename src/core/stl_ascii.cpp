// ASCII STL reader. One pass over the text in chunks (line_chunks.h), read
// side by side on large files and joined in file order. Chunks come as runs
// of whole lines: the token scan stops at a line's break, so each line is
// split and read in the same pass.
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
#include <cfloat>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "decimal.h"
#include "file_io.h"
#include "line_chunks.h"
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

struct TToken {
    const char* Begin;
    const char* End;
};

// Moves p past the blanks on its line; true when a token starts there,
// false at the line's break or at e.
[[gnu::always_inline]] inline bool SkipToToken(const char*& p, const char* e)
{
    for (;;) {
        while (p < e && *p == ' ')
            ++p;
        if (p == e) return false;
        if (!IsBlank(*p)) return true;
        if (*p == '\n' || *p == '\r') return false;
        ++p;  // a tab or another control
    }
}

// The next token at or after p on its line (e ends the text); false when
// none is left on the line.
[[gnu::always_inline]] inline bool NextToken(const char*& p, const char* e, TToken& t)
{
    if (!SkipToToken(p, e)) return false;
    t.Begin = p;
    t.End = p = FindBlank(p, e);
    return true;
}

// Tokens this long never convert.
constexpr ptrdiff_t kLongestNumber = 255;

// d rounded to the nearest float: values from halfway between FLT_MAX and
// 2^128 upwards become infinity, smaller ones round down to FLT_MAX.
inline float RoundToFloat(double d)
{
    constexpr double kOverflow = 0x1.ffffffp+127;  // (2 - 2^-24) * 2^127
    if (d >= kOverflow) return std::numeric_limits<float>::infinity();
    if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

[[gnu::always_inline]] inline bool ConvertToken(const TToken& t, float& out)
{
    if (t.End - t.Begin > kLongestNumber) return false;
    double d = 0;
    if (!ParseShortDecimal(t.Begin, t.End, d) && !ParseDecimalOrSpecial(t.Begin, t.End, d)) return false;
    out = RoundToFloat(d);
    return true;
}

// The next token at or after p on its line, converted into out; false when
// none is left or it does not convert. Short decimals are converted as they
// are scanned; any other token is found first and converted whole.
[[gnu::always_inline]] inline bool NextNumber(const char*& p, const char* e, float& out)
{
    if (!SkipToToken(p, e)) return false;
    double d = 0;
    const char* stop = ScanShortDecimal(p, e, d);
    if (stop && (stop == e || IsBlank(*stop)) && stop - p <= kLongestNumber) {
        static_assert(kShortDecimalBound < FLT_MAX, "short decimals never overflow a float");
        p = stop;
        out = static_cast<float>(d);
        return true;
    }
    const TToken t{p, FindBlank(p, e)};
    p = t.End;
    return ConvertToken(t, out);
}

using TChunks = TLineChunks<struct TAsciiBatch, THandOut::Spans>;

// The vertices one chunk can hold at most: one per 13 bytes, and one more,
// as its last line may start just before its end.
size_t ChunkCapacity()
{
    return static_cast<size_t>(TChunks::kChunkBytes / kShortestVertexLine) + 1;
}

// A facet normal line met before the chunk's normal was its own: the
// components that converted (bit k for component k) and their values, and
// how many vertices came before it.
struct TNormalEvent {
    size_t At;
    unsigned Converted;
    float Values[3];
};

// The vertices of one chunk and what its lines did to the normal. Until the
// first facet normal line whose three numbers convert, the normal depends on
// the one the chunk comes in with: the vertices up to there (Leading) and the
// partial normal lines among them (Events) wait for the join.
struct TAsciiBatch {
    // Room for as many vertices as a chunk can hold, sized once.
    std::vector<TGLVertex, TPodAllocator<TGLVertex>> Vertices;
    size_t Count = 0;
    std::vector<TNormalEvent> Events;
    size_t Leading = 0;
    uint64_t Facets = 0;
    float Normal[3] = {0, 0, 0};
    bool OwnNormal = false;
    TBox Box;  // of the positions, taken while they are at hand

    void clear()
    {
        if (Vertices.empty()) Vertices.resize(ChunkCapacity());
        Count = Leading = Facets = 0;
        Events.clear();
        OwnNormal = false;
        Box = TBox();
    }

    // Whole lines, each with its break (the last may have none).
    void Lines(const char* p, const char* e)
    {
        while (p < e) {
            p = FindLineBreak(Line(p, e), e);
            if (p < e) ++p;
        }
    }

private:
    // The line at p: returns where its rule stopped reading, at or before
    // its break. Only the tokens a rule needs are looked at: a line counts
    // as many tokens as the rule asks for once they are there.
    [[gnu::always_inline]] const char* Line(const char* p, const char* e)
    {
        TToken first, t;
        if (!NextToken(p, e, first)) return p;
        if (EqualsNoCase(first.Begin, first.End, "vertex")) {
            float v[3];
            for (float& c : v)
                if (!NextNumber(p, e, c)) return p;
            if (Count == Vertices.size()) return p;
            SetGLVertex(Vertices[Count], Normal, v);
            Box.Add(Vertices[Count++]);
            if (!OwnNormal) ++Leading;
        } else if (EqualsNoCase(first.Begin, first.End, "facet")) {
            // Counted when a space follows "facet"; any blank will do for the normal.
            if (!NextToken(p, e, t)) return p;
            if (*first.End == ' ') ++Facets;
            if (EqualsNoCase(t.Begin, t.End, "normal")) return NormalLine(p, e);
        }
        return p;
    }

    // "facet normal" and what follows it; returns where it stopped reading.
    const char* NormalLine(const char* p, const char* e)
    {
        TToken t[3];
        for (TToken& token : t)
            if (!NextToken(p, e, token)) return p;
        unsigned converted = 0;
        for (int k = 0; k < 3; ++k)
            if (ConvertToken(t[k], Normal[k])) converted |= 1u << k;
        if (!OwnNormal && converted != 7) Events.push_back({Count, converted, {Normal[0], Normal[1], Normal[2]}});
        OwnNormal = OwnNormal || converted == 7;
        NormalizeVector(Normal[0], Normal[1], Normal[2]);
        return p;
    }
};

// A normal line's converted components over normal, made unit length.
void ApplyEvent(const TNormalEvent& event, float normal[3])
{
    for (int k = 0; k < 3; ++k)
        if (event.Converted & (1u << k)) normal[k] = event.Values[k];
    NormalizeVector(normal[0], normal[1], normal[2]);
}

// The chunks' vertices in file order, each chunk's leading normals worked
// out from the normal the chunks before it left.
class TAsciiJoin {
public:
    explicit TAsciiJoin(TGLVertex* mesh) : Mesh_(mesh) {}

    void Add(TAsciiBatch& batch)
    {
        size_t next = 0;
        for (size_t i = 0; i < batch.Leading; ++i) {
            for (; next < batch.Events.size() && batch.Events[next].At == i; ++next)
                ApplyEvent(batch.Events[next], Normal_);
            TGLVertex& v = batch.Vertices[i];
            v.NX = Normal_[0], v.NY = Normal_[1], v.NZ = Normal_[2];
        }
        for (; next < batch.Events.size(); ++next)
            ApplyEvent(batch.Events[next], Normal_);
        if (batch.OwnNormal) std::memcpy(Normal_, batch.Normal, sizeof Normal_);
        // The mesh's pages for the batch made ready in one step, not one fault each.
        HintWriteSoon(Mesh_ + Filled_, batch.Count * sizeof(TGLVertex));
        std::memcpy(Mesh_ + Filled_, batch.Vertices.data(), batch.Count * sizeof(TGLVertex));
        Filled_ += batch.Count;
        Facets_ += batch.Facets;
        Box_.Add(batch.Box);
    }
    size_t Vertices() const { return Filled_; }
    uint64_t Facets() const { return Facets_; }
    const TBox& Box() const { return Box_; }

private:
    TGLVertex* Mesh_;
    float Normal_[3] = {0, 0, 0};
    size_t Filled_ = 0;
    uint64_t Facets_ = 0;
    TBox Box_;
};

// Room for every vertex the file can hold: one per 13 bytes, and one more per
// chunk.
size_t MeshCapacity(uint64_t size)
{
    return static_cast<size_t>(size / kShortestVertexLine + (size + TChunks::kChunkBytes - 1) / TChunks::kChunkBytes);
}

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
    const size_t capacity = MeshCapacity(size);
    if (!Allocate(capacity, 0)) throw TOutOfMemory();
    TAsciiJoin join(Vertices.data());
    try {
        TChunks(file, size, 0)
            .Read(
                PartsFor(size),
                [](const char* text, size_t length, TAsciiBatch& batch) { batch.Lines(text, text + length); },
                [&join](TAsciiBatch& batch) {
                    join.Add(batch);
                    return true;
                });
    } catch (const TReaderError&) {
        ErrorMsg = "ASCII-STL: Read error.";
        return false;
    }
    if (join.Facets() == 0) {
        ErrorMsg = "ASCII-STL: No triangles found.";
        return false;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(join.Vertices(), 3 * join.Facets()));
    VertexCount = IndexCount = static_cast<int32_t>(n);
    ObjectCount = 1;
    if (n == join.Vertices())
        SetBounds(join.Box());
    else  // vertices past three per facet line stay out of the box
        ComputeBounds();
    InfoText = "STL ASCII  |  Triangles: " + std::to_string(n / 3) + "  |  Vertices: " + std::to_string(n);
    return true;
}

}  // namespace voxaro
