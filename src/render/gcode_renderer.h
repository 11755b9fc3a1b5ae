// Toolpath drawing of the G-code view: floor grid, optional axes, travel as
// thin lines, printed moves as lit boxes or thick lines. Immediate mode, the
// whole frame on every paint. Scene axes: a G-code point (X, Y, Z) is drawn
// at (X, Z, -Y), so the printer's Z points up.
#pragma once

#include "GCodeParser.h"
#include "camera.h"
#include "gcode_scene.h"
#include "gl_api.h"

namespace voxaro {

// The side panel's seven check boxes, read at the start of every frame.
struct TGCodeViewOptions {
    bool ShowTravel = false;
    bool ShowPrint = false;
    bool ColorByLayer = false;
    bool ShowSupport = false;
    bool Lighting = false;
    bool Axes = false;
    bool Edges = false;
};

// What a frame draws besides the parser's moves.
struct TGCodeFrame {
    const TGCodeParser* Parser = nullptr;
    TGCodeCamera Camera;
    TGCodeViewOptions Options;
    int32_t LayerSel = -1;   // -1 all layers, n >= 0 layers 0..n
    double LineWidth = 0.4;  // drawn width of printed moves, mm
    int Width = 0, Height = 0;
};

// A flat box of half width w and half height h around the segment a-b
// (scene axes): six quads. Nothing for segments shorter than 1e-5 in x-z.
void DrawSegmentBox(const GLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h);
// The four long edges of the same box, as lines.
void DrawSegmentEdges(const GLApi& gl, const TScenePoint& a, const TScenePoint& b, float w, float h);
// An arc move from start (G-code coordinates) as a chain of boxes, one per
// 5 degrees, at least 4. Nothing for a zero radius or sweep.
void DrawArcSegments(const GLApi& gl, const TGCodeMove& arc, const TGCodeMove& start, float w, float h);
// Number of boxes DrawArcSegments draws for the arc (0 when it draws none).
int ArcPieceCount(const TGCodeMove& arc, const TGCodeMove& start);

// Draws one whole frame without presenting it, and publishes the colour-by-
// layer state for the thumbnails. Returns false, drawing nothing, when there
// are no moves or the size is not positive. The fixed state of InitGLState
// must be set up in the current context.
bool DrawGCodeFrame(const GLApi& gl, const TGCodeFrame& frame);

}  // namespace voxaro
