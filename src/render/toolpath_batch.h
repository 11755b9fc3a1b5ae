// A run of toolpath primitives on its way to OpenGL: interleaved vertices
// (position, normal), 16-bit indices into them and the ops that draw them,
// with every state change the immediate drawing would make before each
// primitive, but recorded only where the state actually changes.
// Consecutive primitives of one kind under one state become one
// glDrawElements. A box costs 24 vertices and 36 indices: 648 bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "gcode_scene.h"
#include "gl_api.h"
#include "scene_view.h"

namespace voxaro {

struct TPathVertex {
    float X, Y, Z;
    float NX, NY, NZ;
};

// Axis-aligned box in scene axes; empty while Min > Max.
struct TSceneBox {
    TScenePoint Min = {1.0f, 1.0f, 1.0f};
    TScenePoint Max = {-1.0f, -1.0f, -1.0f};
    bool Empty() const { return Min.X > Max.X; }
};

class TPathBatch {
public:
    // State for the primitives that follow.
    void SetColor(const TColor& c)
    {
        if (c.R != Want_.Color.R || c.G != Want_.Color.G || c.B != Want_.Color.B || c.A != Want_.Color.A)
            Want_.Color = c, Dirty_ = true;
    }
    void SetLighting(bool on)
    {
        if (on != Want_.Lighting) Want_.Lighting = on, Dirty_ = true;
    }
    void SetLineWidth(float w)
    {
        if (w != Want_.LineWidth) Want_.LineWidth = w, Dirty_ = true;
    }
    // The edge pass: line offset enabled at (-1.5, -1.5); off restores the
    // fill offset of (1.0, 1.0).
    void SetEdgeOffset(bool on)
    {
        if (on != Want_.EdgeOffset) Want_.EdgeOffset = on, Dirty_ = true;
    }

    // Primitives (the sink of the toolpath geometry).
    void Quad(const TScenePoint& n, const TScenePoint& c0, const TScenePoint& c1, const TScenePoint& c2,
              const TScenePoint& c3);
    void Lines(const TScenePoint* points, int count);

    // Ends the batch with the edge offset off, so that nothing after it
    // inherits the edge pass's state.
    void Close();
    // Forgets vertices and ops and what state GL is in; keeps the capacity
    // and the current normal (lit lines take the last quad's normal, as in
    // immediate mode).
    void Clear();

    // Normal that lines take until the next quad.
    const TScenePoint& CurrentNormal() const { return Normal_; }
    void SetCurrentNormal(const TScenePoint& n) { Normal_ = n; }

    size_t VertexCount() const { return Vertices_.size(); }
    // Indices are 16-bit: vertices come in segments of at most this many.
    static constexpr size_t kSegmentVertices = 65536;
    bool HasDraws() const { return !Vertices_.empty(); }
    // What the batch holds, in bytes.
    uint64_t Bytes() const;
    // Box around every vertex (a scan of them all).
    TSceneBox Bounds() const;
    float MaxLineWidth() const { return MaxLineWidth_; }

    // Replays the ops through client-side arrays (also inside glNewList).
    void Draw(const TGLApi& gl) const;

private:
    struct TState {
        TColor Color = {0, 0, 0, 0};
        bool Lighting = false;
        bool EdgeOffset = false;
        float LineWidth = 1.0f;
    };
    enum class TOpKind : uint8_t { Color, Lighting, EdgeOffset, LineWidth, Draw };
    struct TOp {
        TOpKind Kind;
        GLenum Mode;     // Draw
        uint32_t First;  // Draw: first index; Lighting, EdgeOffset: on
        uint32_t Count;  // Draw: indices
        uint32_t Base;   // Draw: first vertex of the segment the indices count from
        TColor Value;    // Color; LineWidth in R
    };

    void Begin(GLenum mode, bool lines, size_t vertices)
    {
        const bool sameDraw = !Dirty_ && !Ops_.empty() && Ops_.back().Mode == mode &&
                              Vertices_.size() - SegmentBase_ + vertices <= kSegmentVertices;
        if (!sameDraw) ChangeDraw(mode, lines, vertices);
    }
    void ChangeDraw(GLenum mode, bool lines, size_t vertices);
    void Vertex(const TScenePoint& p, const TScenePoint& n);
    void Apply(const TGLApi& gl, const TOp& op, uint32_t& base) const;

    std::vector<TPathVertex> Vertices_;
    std::vector<uint16_t> Indices_;
    size_t SegmentBase_ = 0;
    std::vector<TOp> Ops_;
    TState Want_;
    TState Sent_;
    bool Known_ = false;       // Sent_ holds what GL has
    bool WidthKnown_ = false;  // line width too
    bool Dirty_ = true;        // Want_ may differ from Sent_
    TScenePoint Normal_ = {0.0f, 0.0f, 1.0f};
    float MaxLineWidth_ = 1.0f;
};

}  // namespace voxaro
