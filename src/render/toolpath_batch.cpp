#include "toolpath_batch.h"

#include <algorithm>
#include <cstddef>

namespace voxaro {

namespace {
constexpr GLsizei kStride = sizeof(TPathVertex);

bool SameColor(const TColor& a, const TColor& b)
{
    return a.R == b.R && a.G == b.G && a.B == b.B && a.A == b.A;
}
}  // namespace

void TPathBatch::Quad(const TScenePoint& n, const TScenePoint& c0, const TScenePoint& c1, const TScenePoint& c2,
                      const TScenePoint& c3)
{
    Begin(gl::TRIANGLES, false, 4);
    Normal_ = n;
    const auto first = static_cast<uint16_t>(Vertices_.size() - SegmentBase_);
    Vertex(c0, n);
    Vertex(c1, n);
    Vertex(c2, n);
    Vertex(c3, n);
    // Two triangles split along c0-c2 always: a quad's split left to the
    // driver may change with how the draws around it are batched.
    const uint16_t split[6] = {first, uint16_t(first + 1), uint16_t(first + 2),
                               first, uint16_t(first + 2), uint16_t(first + 3)};
    Indices_.insert(Indices_.end(), split, split + 6);
    Ops_.back().Count += 6;
}

void TPathBatch::Lines(const TScenePoint* points, int count)
{
    Begin(gl::LINES, true, static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Indices_.push_back(static_cast<uint16_t>(Vertices_.size() - SegmentBase_));
        Vertex(points[i], Normal_);
    }
    Ops_.back().Count += static_cast<uint32_t>(count);
}

// Records the state changes the next primitive needs, then opens a draw op
// unless the last one can take it.
void TPathBatch::ChangeDraw(GLenum mode, bool lines, size_t vertices)
{
    const size_t opsBefore = Ops_.size();
    if (!Known_ || Want_.Lighting != Sent_.Lighting)
        Ops_.push_back({TOpKind::Lighting, 0, Want_.Lighting ? 1u : 0u, 0, 0, {}});
    if (!Known_ || Want_.EdgeOffset != Sent_.EdgeOffset)
        Ops_.push_back({TOpKind::EdgeOffset, 0, Want_.EdgeOffset ? 1u : 0u, 0, 0, {}});
    if (!Known_ || !SameColor(Want_.Color, Sent_.Color)) Ops_.push_back({TOpKind::Color, 0, 0, 0, 0, Want_.Color});
    const float sentWidth = Sent_.LineWidth;
    Sent_ = Want_;
    Sent_.LineWidth = sentWidth;
    Known_ = true;
    if (lines && (!WidthKnown_ || Want_.LineWidth != Sent_.LineWidth)) {
        Ops_.push_back({TOpKind::LineWidth, 0, 0, 0, 0, {Want_.LineWidth, 0, 0, 0}});
        Sent_.LineWidth = Want_.LineWidth;
        WidthKnown_ = true;
        MaxLineWidth_ = std::max(MaxLineWidth_, Want_.LineWidth);
    }
    Dirty_ = Want_.LineWidth != Sent_.LineWidth;
    const bool newSegment = Vertices_.size() - SegmentBase_ + vertices > kSegmentVertices;
    if (newSegment) SegmentBase_ = Vertices_.size();
    const bool extend = !newSegment && Ops_.size() == opsBefore && !Ops_.empty() && Ops_.back().Kind == TOpKind::Draw &&
                        Ops_.back().Mode == mode;
    if (!extend)
        Ops_.push_back(
            {TOpKind::Draw, mode, static_cast<uint32_t>(Indices_.size()), 0, static_cast<uint32_t>(SegmentBase_), {}});
}

void TPathBatch::Vertex(const TScenePoint& p, const TScenePoint& n)
{
    Vertices_.push_back({p.X, p.Y, p.Z, n.X, n.Y, n.Z});
}

TSceneBox TPathBatch::Bounds() const
{
    TSceneBox box;
    if (Vertices_.empty()) return box;
    box.Min = box.Max = {Vertices_[0].X, Vertices_[0].Y, Vertices_[0].Z};
    for (const TPathVertex& v : Vertices_) {
        box.Min = {std::min(box.Min.X, v.X), std::min(box.Min.Y, v.Y), std::min(box.Min.Z, v.Z)};
        box.Max = {std::max(box.Max.X, v.X), std::max(box.Max.Y, v.Y), std::max(box.Max.Z, v.Z)};
    }
    return box;
}

void TPathBatch::Close()
{
    SetEdgeOffset(false);
    if (!Known_ || !Sent_.EdgeOffset) return;
    Ops_.push_back({TOpKind::EdgeOffset, 0, 0u, 0, 0, {}});
    Sent_.EdgeOffset = false;
}

void TPathBatch::Clear()
{
    Vertices_.clear();
    Indices_.clear();
    Ops_.clear();
    SegmentBase_ = 0;
    Known_ = WidthKnown_ = false;
    Dirty_ = true;
    MaxLineWidth_ = 1.0f;
}

uint64_t TPathBatch::Bytes() const
{
    return static_cast<uint64_t>(Vertices_.size()) * sizeof(TPathVertex) +
           static_cast<uint64_t>(Indices_.size()) * sizeof(uint16_t) + static_cast<uint64_t>(Ops_.size()) * sizeof(TOp);
}

namespace {
// Points the arrays at the first vertex of a segment.
void PointArrays(const TGLApi& gl, const TPathVertex* first)
{
    const auto* base = reinterpret_cast<const unsigned char*>(first);
    gl.VertexPointer(3, gl::FLOAT, kStride, base + offsetof(TPathVertex, X));
    gl.NormalPointer(gl::FLOAT, kStride, base + offsetof(TPathVertex, NX));
}
}  // namespace

void TPathBatch::Apply(const TGLApi& gl, const TOp& op, uint32_t& base) const
{
    switch (op.Kind) {
    case TOpKind::Color: voxaro::SetColor(gl, op.Value); break;
    case TOpKind::Lighting: op.First ? gl.Enable(gl::LIGHTING) : gl.Disable(gl::LIGHTING); break;
    case TOpKind::EdgeOffset:
        if (op.First) {
            gl.Enable(gl::POLYGON_OFFSET_LINE);
            gl.PolygonOffset(-1.5f, -1.5f);
        } else {
            gl.Disable(gl::POLYGON_OFFSET_LINE);
            gl.PolygonOffset(1.0f, 1.0f);
        }
        break;
    case TOpKind::LineWidth: gl.LineWidth(op.Value.R); break;
    case TOpKind::Draw:
        if (op.Base != base) PointArrays(gl, &Vertices_[op.Base]);
        base = op.Base;
        gl.DrawElements(op.Mode, static_cast<GLsizei>(op.Count), gl::UNSIGNED_SHORT, &Indices_[op.First]);
        break;
    }
}

void TPathBatch::Draw(const TGLApi& gl) const
{
    if (Ops_.empty()) return;
    gl.EnableClientState(gl::VERTEX_ARRAY);
    gl.EnableClientState(gl::NORMAL_ARRAY);
    PointArrays(gl, Vertices_.data());
    uint32_t base = 0;
    for (const TOp& op : Ops_)
        Apply(gl, op, base);
    gl.DisableClientState(gl::NORMAL_ARRAY);
    gl.DisableClientState(gl::VERTEX_ARRAY);
}

}  // namespace voxaro
