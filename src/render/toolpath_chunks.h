// Toolpaths drawn in chunks of consecutive moves, each built into a batch of
// vertex arrays and streamed to OpenGL. A cache also compiles the chunks
// into display lists, in idle time after the first frame (compiling costs
// more than drawing) and while its memory budget lasts, so that a frame
// after a camera change costs one glCallList per chunk; chunks beyond the
// budget are streamed every frame. Chunks wholly outside the view volume are
// skipped; nothing else changes what reaches the screen.
#pragma once

#include <cstdint>
#include <vector>

#include "GCodeParser.h"
#include "gcode_scene.h"
#include "gl_api.h"
#include "toolpath_batch.h"

namespace voxaro {

// How one kind of picture draws its moves into a batch.
class TToolpathStyle {
public:
    virtual ~TToolpathStyle() = default;
    virtual TMoveFilter Filter() const = 0;
    virtual void Thin(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, TMoveRole role) const = 0;
    virtual void Printed(TPathBatch& out, const TGCodeMove& start, const TGCodeMove& m, bool drawn) const = 0;
};

// The view volume of a frame, widened at the sides by a margin of pixels so
// that wide lines and multisampling at the border are never cut off.
class TViewVolume {
public:
    TViewVolume(const TMat4& clip, int width, int height) : Clip_(clip), Width_(width), Height_(height) {}
    // True when nothing in the box (scene axes), lines up to lineWidth pixels
    // wide included, can reach a pixel.
    bool Excludes(const TSceneBox& box, float lineWidth) const;

private:
    TMat4 Clip_;
    int Width_, Height_;
};

// What the last frame did with its chunks.
struct TToolpathStats {
    int32_t Chunks = 0;      // with something to draw
    int32_t Listed = 0;      // held as display lists
    int32_t Culled = 0;      // skipped by the view volume in the last frame
    uint64_t ListBytes = 0;  // vertex and op bytes compiled into lists
    uint64_t Growth = 0;     // what the process had grown by at the last look while compiling
};

// What decides the picture besides the camera: when any of it changes, the
// lists are built anew.
struct TToolpathKey {
    const void* Source = nullptr;
    int32_t MoveCount = 0;
    uint32_t Flags = 0;
    int32_t LayerSel = -1;
    double LineWidth = 0.0;
    bool operator==(const TToolpathKey& o) const
    {
        return Source == o.Source && MoveCount == o.MoveCount && Flags == o.Flags && LayerSel == o.LayerSel &&
               LineWidth == o.LineWidth;
    }
};

// Memory for display lists: 512 MiB in a 64-bit process (about 800,000 lit
// boxes of 648 bytes), 128 MiB in a 32-bit one. It bounds both the vertex,
// index and op bytes compiled into them and what the process grows by while
// they are compiled (drivers keep their own copies: Mesa about three).
uint64_t DefaultListBudget();

// Bytes the process holds; the cache asks it before and while compiling.
using TMemoryProbe = uint64_t (*)();

class TToolpathCache {
public:
    // skipOutside false draws every chunk, for comparison.
    explicit TToolpathCache(uint64_t budgetBytes = DefaultListBudget(), bool skipOutside = true,
                            TMemoryProbe probe = nullptr);
    // Draws the toolpath: compiled chunks from their lists, the others
    // streamed. A new key drops the lists, and that first frame streams
    // every chunk.
    void Draw(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style, const TToolpathKey& key,
              const TViewVolume* volume);
    // Compiles chunks of the picture last drawn for about the given time;
    // true while some remain to compile. Nothing for another key.
    bool CompilePending(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style,
                        const TToolpathKey& key, double seconds);
    bool HasPending() const { return Valid_ && NextCompile_ < Chunks_.size(); }
    // Deletes the lists; the context they belong to must be current.
    void Release(const TGLApi& gl);
    // Drops the lists without GL, for a context that is gone.
    void Forget();
    bool HasLists() const { return Stats_.Listed > 0; }
    const TToolpathStats& Stats() const { return Stats_; }

private:
    struct TChunk {
        TWalkPos Start;
        int32_t End;
        TScenePoint Normal;  // the current normal where the chunk starts
        TSceneBox Bounds;
        float LineWidth;
        GLuint List;  // 0: streamed
    };
    void Build(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style, const TViewVolume* volume);
    GLuint Compile(const TGLApi& gl, const TPathBatch& batch);
    void Refill(const TGCodeParser& parser, const TToolpathStyle& style, const TChunk& c);

    uint64_t Budget_;
    bool SkipOutside_;
    TMemoryProbe Probe_;
    uint64_t MemoryBefore_ = 0;  // what the process held when the picture's lists were started
    bool Valid_ = false;
    bool ListsRefused_ = false;
    TToolpathKey Key_;
    std::vector<TChunk> Chunks_;
    size_t NextCompile_ = 0;
    TPathBatch Scratch_;
    TToolpathStats Stats_;
};

// Draws a toolpath once, chunk by chunk, without keeping anything.
void DrawToolpathStreamed(const TGLApi& gl, const TGCodeParser& parser, const TToolpathStyle& style,
                          const TViewVolume* volume);

}  // namespace voxaro
