// The toolpath scene that the G-code view and the G-code thumbnail share: the
// fitted orbit camera as matrices, the floor grid, the walk over the moves
// with its rule for printed runs, and the colours of each picture as data.
// Scene axes: a G-code point (X, Y, Z) is drawn at (X, Z, -Y), so the
// printer's Z points up.
#pragma once

#include <algorithm>
#include <cstdint>

#include "GCodeParser.h"
#include "camera.h"
#include "gl_api.h"
#include "scene_view.h"

namespace voxaro {

// Directional light of lit toolpaths, fixed in scene axes.
inline constexpr float kLightDirection[4] = {0.5f, 1.0f, 0.5f, 0.0f};

// A point in scene axes.
struct TScenePoint {
    float X, Y, Z;
};
TScenePoint ToScene(double x, double y, double z);
inline TScenePoint MoveEnd(const TGCodeMove& m)
{
    return ToScene(m.X, m.Y, m.Z);
}

// ---------------------------------------------------------------------------
// Colours

// The colours of one kind of toolpath picture. Blending stays off, so alpha
// has no visible effect.
struct TToolpathPalette {
    TColor Background;
    TColor Grid;
    TColor Travel;     // rapid moves
    TColor Idle;       // linear moves and arcs that deposit nothing
    TColor Support;    // printed support
    TColor Interface;  // printed support interface
    TColor Print;      // every other printed move while colour by layer is off
    // Layers beyond the end of the hue ramp (a negative sector) turn white,
    // or keep the colour of the ramp's last sector.
    bool WhiteBeyondRamp;
};
extern const TToolpathPalette kViewPalette;
extern const TToolpathPalette kThumbnailPalette;

// Red, green, blue of the hue ramp, blue for layer 0 to red for the highest;
// white beyond the ramp.
void LayerColor(int layer, int highestLayer, float rgb[3]);
// Highest layer of the ramp: LayerCount - 1, at least 1.
inline int HighestLayer(const TGCodeParser& parser)
{
    return std::max(parser.LayerCount - 1, 1);
}
inline bool IsSupport(const TGCodeMove& m)
{
    return m.Feature == gfSupport || m.Feature == gfSupportInterface;
}
// Colour of a printed move: the support colours first, then the layer ramp
// when colour by layer is on, else the print colour.
TColor PrintColor(const TToolpathPalette& palette, const TGCodeMove& m, bool colorByLayer, int highestLayer);

// ---------------------------------------------------------------------------
// Camera

// Projection (45-degree vertical field, near 0.01, far 200000) and view of
// the orbit camera: a look-at from the eye towards the target, then the eye
// moved to the origin with the pan added. Looking nearly straight down or up
// (85 degrees and more), scene -z or +z is taken as up.
void ApplyToolpathCamera(const TGLApi& gl, const TGCodeCamera& cam, int width, int height);
// Scene to clip coordinates under that camera.
TMat4 ToolpathClipMatrix(const TGCodeCamera& cam, int width, int height);

// ---------------------------------------------------------------------------
// Floor grid at height 0

// Lines every Step along one G-code axis: Count lines at From, From + Step,
// ... (added up step by step); the lines across the other axis span From..To.
struct TGridAxis {
    double From = 0.0;
    double To = 0.0;
    double Step = 10.0;
    int32_t Count = 0;
};

struct TFloorGrid {
    TGridAxis X, Y;  // G-code X and Y
};

// Lines per axis with the usual 10-unit step: enough for 100 m of bed.
constexpr int32_t kMaxGridLines = 10001;

// The lines from from to to: one every 10 units from the start while it is
// not past the end by more than 0.01. A span that would need more than
// kMaxGridLines lines gets a coarser step instead (10 times a power of ten,
// lines on its multiples); ends that are not finite or beyond the range of
// a float draw no lines.
TGridAxis GridAxis(double from, double to);
// Over a box of G-code X and Y with a margin of one step, the ends on
// multiples of 10.
TFloorGrid FloorGridOver(double minX, double maxX, double minY, double maxY);
// A 100 x 100 square around the G-code point (x, y).
TFloorGrid FloorGridAround(double x, double y);
// The lines across Y at each X, then those across X at each Y, as line pairs.
void DrawFloorGrid(const TGLApi& gl, const TFloorGrid& grid, const TColor& color);

// ---------------------------------------------------------------------------
// The walk over the moves

enum class TMoveRole : uint8_t {
    Travel,   // rapid move
    Idle,     // linear move or arc that deposits nothing
    Printed,  // linear move or arc that deposits material
    None,     // any other kind: drawn by nobody
};

inline TMoveRole RoleOf(const TGCodeMove& m)
{
    if (m.Kind == mkRapid) return TMoveRole::Travel;
    if (!IsFeedMove(m.Kind)) return TMoveRole::None;
    return m.Extrude ? TMoveRole::Printed : TMoveRole::Idle;
}

// Which moves a picture shows.
struct TMoveFilter {
    int32_t LayerSel = -1;  // -1 all layers, n >= 0 layers 0..n
    bool ShowPrint = true;
    bool ShowSupport = true;
};

// Where a walk over the moves stands: the next move, and whether the move
// before it was a printed move that passed the filter.
struct TWalkPos {
    int32_t Move = 0;
    bool RunOpen = false;
};

// Walks the moves from pos up to end in file order, leaving pos at end.
// Each move starts at the end of the move before it (the first at its own
// end). Travel and idle moves within the layer limit go to thin(start, move,
// role); printed moves that pass the filter go to printed(start, move,
// drawn). drawn is false for the first printed move of a run: after any
// travel or idle move and after a printed move the filter hid, so its
// segment is not drawn.
template <typename Thin, typename Printed>
void WalkMoveRange(const TGCodeParser& parser, const TMoveFilter& filter, TWalkPos& pos, int32_t end, Thin&& thin,
                   Printed&& printed)
{
    end = std::min(end, std::min(parser.MoveCount, static_cast<int32_t>(parser.Moves.Count())));
    if (pos.Move < 0 || pos.Move >= end) return;
    // This loop runs once per move of every frame drawn: the moves are read
    // into two buffers in turn, the one before and the current one.
    TGCodeMove buffers[2];
    int current = 0;
    parser.Moves.Get(static_cast<size_t>(pos.Move > 0 ? pos.Move - 1 : 0), buffers[1]);
    bool runOpen = pos.RunOpen;
    for (int32_t i = pos.Move; i < end; ++i, current ^= 1) {
        TGCodeMove& m = buffers[current];
        const TGCodeMove& prev = buffers[current ^ 1];
        parser.Moves.Get(static_cast<size_t>(i), m);
        if (filter.LayerSel < 0 || m.Layer <= filter.LayerSel) {
            const TMoveRole role = RoleOf(m);
            if (role == TMoveRole::Travel || role == TMoveRole::Idle) {
                thin(prev, m, role);
                runOpen = false;
            } else if (role == TMoveRole::Printed) {
                if (!filter.ShowPrint || (IsSupport(m) && !filter.ShowSupport)) {
                    runOpen = false;
                } else {
                    printed(prev, m, runOpen);
                    runOpen = true;
                }
            }
        }
    }
    pos = {end, runOpen};
}

// The same over every move.
template <typename Thin, typename Printed>
void WalkMoves(const TGCodeParser& parser, const TMoveFilter& filter, Thin&& thin, Printed&& printed)
{
    TWalkPos pos;
    WalkMoveRange(parser, filter, pos, parser.MoveCount, thin, printed);
}

}  // namespace voxaro
