// Toolpath drawing of the G-code view: floor grid, optional axes, travel as
// thin lines, printed moves as lit boxes or thick lines. The moves go to
// OpenGL in chunks of vertex arrays, kept as display lists between frames
// when the frame brings a cache. Scene axes: a G-code point (X, Y, Z) is
// drawn at (X, Z, -Y), so the printer's Z points up.
#pragma once

#include "GCodeParser.h"
#include "camera.h"
#include "gcode_scene.h"
#include "gl_api.h"
#include "toolpath_chunks.h"
#include "toolpath_geometry.h"

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
    // Display lists kept between frames of one context; null draws the
    // moves once, streamed.
    TToolpathCache* Cache = nullptr;
};

// How the view draws its moves under the frame's options and limits.
class TGCodeViewStyle final : public TToolpathStyle {
public:
    explicit TGCodeViewStyle(const TGCodeFrame& frame);
    TMoveFilter Filter() const override { return Filter_; }
    void Thin(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, TMoveRole role) const override;
    void Printed(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, bool drawn) const override;

private:
    TGCodeViewOptions Options_;
    TMoveFilter Filter_;
    double LineWidth_;
    int HighestLayer_;
};

// Draws one whole frame without presenting it, and publishes the colour-by-
// layer state for the thumbnails. Returns false, drawing nothing, when there
// are no moves or the size is not positive. The fixed state of InitGLState
// must be set up in the current context.
bool DrawGCodeFrame(const TGLApi& gl, const TGCodeFrame& frame);

// What a frame draws around the moves: clear, camera, light, floor grid and
// axes before them, leaving lighting as the moves start; lighting off, line
// width 1 and a flush after them.
void BeginGCodeFrame(const TGLApi& gl, const TGCodeFrame& frame);
void EndGCodeFrame(const TGLApi& gl);

// Idle work after a frame: compiles more of the frame's cache into display
// lists, for about the given time. True while more remains.
bool CompileGCodeLists(const TGLApi& gl, const TGCodeFrame& frame, double seconds);

}  // namespace voxaro
