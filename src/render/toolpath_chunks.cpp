#include "toolpath_chunks.h"

#include "process_memory.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

namespace voxaro {

namespace {

// A chunk closes once it holds this many vertices (768 KiB), checked
// every kWalkStep moves, so it never holds much more, or after kChunkMoves
// moves, so that even thin lines come in pieces the view volume can skip.
constexpr size_t kChunkVertices = 32768;
constexpr int32_t kWalkStep = 256;
constexpr int32_t kChunkMoves = 8192;
// Pixels beyond the viewport a chunk may reach and still be skipped, besides
// half its widest line.
constexpr double kMarginPixels = 2.0;
// Slack on the near and far planes, relative to the coordinates.
constexpr double kDepthSlack = 1e-6;

// Walks moves [pos, end) into the batch.
void WalkInto(TPathBatch& batch, const TGCodeParser& parser, const TToolpathStyle& style, TWalkPos& pos, int32_t end)
{
    WalkMoveRange(
        parser, style.Filter(), pos, end,
        [&](const TGCodeMove& start, const TGCodeMove& m, TMoveRole role) { style.Thin(batch, start, m, role); },
        [&](const TGCodeMove& start, const TGCodeMove& m, bool drawn) { style.Printed(batch, start, m, drawn); });
}

// Fills the batch with the next chunk from pos on, leaving pos after it.
void NextChunk(TPathBatch& batch, const TGCodeParser& parser, const TToolpathStyle& style, TWalkPos& pos)
{
    batch.Clear();
    const int32_t first = pos.Move;
    while (pos.Move < parser.MoveCount && batch.VertexCount() < kChunkVertices && pos.Move - first < kChunkMoves) {
        const int32_t end = parser.MoveCount - pos.Move > kWalkStep ? pos.Move + kWalkStep : parser.MoveCount;
        WalkInto(batch, parser, style, pos, end);
    }
    batch.Close();
}

bool Excluded(const TViewVolume* volume, const TSceneBox& box, float lineWidth)
{
    return volume && volume->Excludes(box, lineWidth);
}

}  // namespace

TToolpathCache::TToolpathCache(uint64_t budgetBytes, bool skipOutside, TMemoryProbe probe)
    : Budget_(budgetBytes), SkipOutside_(skipOutside), Probe_(probe ? probe : ProcessMemoryBytes)
{
}

uint64_t DefaultListBudget()
{
    return sizeof(void*) >= 8 ? uint64_t(512) << 20 : uint64_t(128) << 20;
}

bool TViewVolume::Excludes(const TSceneBox& box, float lineWidth) const
{
    if (box.Empty()) return true;
    const double margin = kMarginPixels + 0.5 * std::max(1.0, static_cast<double>(lineWidth));
    const double sx = 1.0 + 2.0 * margin / Width_, sy = 1.0 + 2.0 * margin / Height_;
    // Per plane: is every corner outside it?
    bool out[6] = {true, true, true, true, true, true};
    for (int k = 0; k < 8; ++k) {
        const double p[3] = {k & 1 ? box.Max.X : box.Min.X, k & 2 ? box.Max.Y : box.Min.Y,
                             k & 4 ? box.Max.Z : box.Min.Z};
        double c[4];
        for (int row = 0; row < 4; ++row)
            c[row] = Clip_.M[row] * p[0] + Clip_.M[4 + row] * p[1] + Clip_.M[8 + row] * p[2] + Clip_.M[12 + row];
        const double x = c[0], y = c[1], z = c[2], w = c[3];
        const double slack = kDepthSlack * (std::fabs(z) + std::fabs(w));
        out[0] = out[0] && x > sx * w;
        out[1] = out[1] && x < -sx * w;
        out[2] = out[2] && y > sy * w;
        out[3] = out[3] && y < -sy * w;
        out[4] = out[4] && z + w < -slack;  // in front of the near plane
        out[5] = out[5] && z - w > slack;   // beyond the far plane
    }
    return std::any_of(out, out + 6, [](bool b) { return b; });
}

void TToolpathCache::Draw(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style,
                          const TToolpathKey& key, const TViewVolume* volume)
{
    if (!SkipOutside_) volume = nullptr;
    if (!Valid_ || !(key == Key_)) {
        Release(gl);
        Key_ = key;
        Build(gl, parser, style, volume);
        Valid_ = true;
        return;
    }
    Stats_.Culled = 0;
    for (const TChunk& c : Chunks_) {
        if (Excluded(volume, c.Bounds, c.LineWidth)) {
            ++Stats_.Culled;
        } else if (c.List) {
            gl.CallList(c.List);
        } else {
            Refill(parser, style, c);
            Scratch_.Draw(gl);
        }
    }
}

// Walks every move once, streaming each chunk the view volume keeps and
// noting where the chunks start and end and what space they take.
void TToolpathCache::Build(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style,
                           const TViewVolume* volume)
{
    TWalkPos pos;
    while (pos.Move < parser.MoveCount) {
        TChunk c{pos, 0, Scratch_.CurrentNormal(), {}, 1.0f, 0};
        NextChunk(Scratch_, parser, style, pos);
        if (!Scratch_.HasDraws()) continue;
        c.End = pos.Move;
        c.Bounds = Scratch_.Bounds();
        c.LineWidth = Scratch_.MaxLineWidth();
        if (Excluded(volume, c.Bounds, c.LineWidth))
            ++Stats_.Culled;
        else
            Scratch_.Draw(gl);
        Chunks_.push_back(c);
    }
    Stats_.Chunks = static_cast<int32_t>(Chunks_.size());
    Scratch_.Clear();
}

bool TToolpathCache::CompilePending(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style,
                                    const TToolpathKey& key, double seconds)
{
    if (!HasPending() || !(key == Key_)) return false;
    const auto stop = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        TChunk& c = Chunks_[NextCompile_];
        try {
            Refill(parser, style, c);
        } catch (const std::bad_alloc&) {
            NextCompile_ = Chunks_.size();  // idle work is not worth failing for
            break;
        }
        c.List = Compile(gl, Scratch_);
        NextCompile_ = c.List ? NextCompile_ + 1 : Chunks_.size();  // no list: budget spent or lists refused
    } while (HasPending() && std::chrono::steady_clock::now() < stop);
    return HasPending();
}

// A display list of the batch, or 0 beyond the budget or when the driver
// refuses one (then no more are tried for this picture).
GLuint TToolpathCache::Compile(const TGLApi& gl, const TPathBatch& batch)
{
    if (ListsRefused_ || Stats_.ListBytes + batch.Bytes() > Budget_) return 0;
    // What the process has grown by, the driver's copies included.
    const uint64_t now = Probe_();
    if (Stats_.Listed == 0) MemoryBefore_ = now;
    Stats_.Growth = now > MemoryBefore_ ? now - MemoryBefore_ : 0;
    if (MemoryBefore_ > 0 && Stats_.Growth + batch.Bytes() > Budget_) return 0;
    for (int i = 0; i < 8 && gl.GetError() != 0; ++i) {
    }  // earlier errors are not ours
    const GLuint list = gl.GenLists(1);
    if (list == 0) {
        ListsRefused_ = true;
        return 0;
    }
    gl.NewList(list, gl::COMPILE);
    batch.Draw(gl);
    gl.EndList();
    if (gl.GetError() != 0) {
        gl.DeleteLists(list, 1);
        ListsRefused_ = true;
        return 0;
    }
    Stats_.ListBytes += batch.Bytes();
    ++Stats_.Listed;
    return list;
}

// The chunk's batch again, from the moves.
void TToolpathCache::Refill(const TGCodeParser& parser, const TToolpathStyle& style, const TChunk& c)
{
    Scratch_.Clear();
    Scratch_.SetCurrentNormal(c.Normal);
    TWalkPos pos = c.Start;
    WalkInto(Scratch_, parser, style, pos, c.End);
    Scratch_.Close();
}

void TToolpathCache::Release(const TGLApi& gl)
{
    for (const TChunk& c : Chunks_)
        if (c.List) gl.DeleteLists(c.List, 1);
    Forget();
}

void TToolpathCache::Forget()
{
    Chunks_.clear();
    Chunks_.shrink_to_fit();
    NextCompile_ = 0;
    Scratch_ = TPathBatch{};
    Stats_ = TToolpathStats{};
    Valid_ = false;
    ListsRefused_ = false;
}

void DrawToolpathStreamed(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style,
                          const TViewVolume* volume)
{
    TPathBatch batch;
    TWalkPos pos;
    while (pos.Move < parser.MoveCount) {
        NextChunk(batch, parser, style, pos);
        if (batch.HasDraws() && !Excluded(volume, batch.Bounds(), batch.MaxLineWidth())) batch.Draw(gl);
    }
}

}  // namespace voxaro
