// The parser's moves, stored compactly. A move as the view reads it
// (TGCodeMove, 80 bytes) mostly repeats the one before: feed rate, layer,
// line width, layer height and feature change every few moves at most, and
// arc offsets belong to arcs alone. The store keeps per move its end point,
// extruder position and flags (36 bytes), the rest as runs shared by the
// moves between changes, and offsets in a table of their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pod_array.h"

namespace voxaro {

// Printed feature a move belongs to, named by slicer comments.
enum TGCodeFeature : uint8_t {
    gfNone = 0,
    gfOuterWall = 1,
    gfInnerWall = 2,
    gfTopSurface = 3,
    gfBottomSurface = 4,
    gfSparseInfill = 5,
    gfSolidInfill = 6,
    gfSupport = 7,
    gfSupportInterface = 8,
    gfBridge = 9,
    gfSkirtBrim = 10,
    gfWipeTower = 11,
    gfIroning = 12,
};

// The G command of a recorded move (TGCodeMove::Kind): G0 to G3.
enum TGCodeMoveKind : uint8_t {
    mkRapid = 0,
    mkLinear = 1,
    mkClockwiseArc = 2,
    mkCounterClockwiseArc = 3,
};

inline bool IsArc(uint8_t kind)
{
    return kind == mkClockwiseArc || kind == mkCounterClockwiseArc;
}
// A linear move or an arc: the kinds that may deposit material.
inline bool IsFeedMove(uint8_t kind)
{
    return kind == mkLinear || IsArc(kind);
}

// One recorded move, as the store hands it out. Its start point is the end
// point of the move before it.
struct TGCodeMove {
    double X, Y, Z;         // end point, absolute
    double I, J, K;         // arc centre offsets as written on the line, 0 when absent
    double E;               // extruder position after the move
    double F;               // feed rate in effect
    int32_t Layer;          // layer index, 0 before the first layer change
    float LineWidth;        // from "; LINE_WIDTH:" comments, default 0.4
    float LayerHeight;      // from "; LAYER_HEIGHT:" comments, default 0.2
    uint8_t Kind;           // a TGCodeMoveKind
    bool Extrude;           // the move deposits material
    TGCodeFeature Feature;  // feature in effect when the move was read
};

#pragma pack(push, 4)
// Per move: the end point, the extruder position, and a tag holding the
// kind (2 bits), the extrude flag, whether offsets are stored, and the index
// of its run, or of its offsets when it has them.
struct TMoveRecord {
    double X, Y, Z, E;
    uint32_t Tag;
};
#pragma pack(pop)
static_assert(sizeof(TMoveRecord) == 36, "TMoveRecord packs into 36 bytes");

// What consecutive moves share.
struct TMoveRun {
    double F;
    int32_t Layer;
    float LineWidth, LayerHeight;
    uint8_t Feature;
};

// Arc centre offsets of a move, and its run.
struct TMoveOffsets {
    double I, J, K;
    uint32_t Run;
};

class TGCodeMoveStore {
public:
    // Runs and offsets are counted in 28 bits of the tag.
    static constexpr uint32_t kMaxIndex = (uint32_t(1) << 28) - 1;

    size_t Count() const { return Count_; }
    // Moves the record array has room for; it starts at 256 and doubles.
    size_t Capacity() const { return Records_.size(); }
    bool empty() const { return Count_ == 0 && Records_.empty(); }
    // Bytes the three arrays take.
    size_t Bytes() const;
    void Clear();
    // Gives back the room no move uses (a load that ended keeps no slack).
    void ShrinkToFit();

    // Adds a move; false (store unchanged) when the memory cannot be had,
    // the arrays would pass limitBytes together or a table is full.
    bool Append(const TGCodeMove& move, size_t limitBytes);
    // Move i (below Count()).
    void Get(size_t i, TGCodeMove& out) const
    {
        const TMoveRecord& r = Records_[i];
        const uint32_t index = r.Tag >> 4;
        const TMoveRun* run;
        if (r.Tag & kHasOffsets) {
            const TMoveOffsets& o = Offsets_[index];
            out.I = o.I, out.J = o.J, out.K = o.K;
            run = &Runs_[o.Run];
        } else {
            out.I = out.J = out.K = 0;
            run = &Runs_[index];
        }
        out.X = r.X, out.Y = r.Y, out.Z = r.Z, out.E = r.E;
        out.F = run->F;
        out.Layer = run->Layer;
        out.LineWidth = run->LineWidth;
        out.LayerHeight = run->LayerHeight;
        out.Kind = static_cast<uint8_t>(r.Tag & 3);
        out.Extrude = (r.Tag & kExtrudes) != 0;
        out.Feature = static_cast<TGCodeFeature>(run->Feature);
    }

private:
    static constexpr uint32_t kExtrudes = 4, kHasOffsets = 8;

    bool SameAsLastRun(const TMoveRun& run) const;
    template <typename T> bool Reserve(TPodArray<T>& array, size_t used, size_t limitBytes, size_t others);

    TPodArray<TMoveRecord> Records_;
    TPodArray<TMoveRun> Runs_;
    TPodArray<TMoveOffsets> Offsets_;
    size_t Count_ = 0, RunCount_ = 0, OffsetCount_ = 0;
};

}  // namespace voxaro
