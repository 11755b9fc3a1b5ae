// G-code toolpath reader: turns a slicer's G-code text into a flat list of
// moves with their layer, printed feature and extrusion flag. Not a machine
// simulator: no units, homing, arc interpolation or timing.
#pragma once

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <string>

#include "gcode_moves.h"

namespace voxaro {

class TFile;

// A box of end points, empty until the first one.
struct TGCodeBox {
    double Min[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
    double Max[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    bool Any = false;

    void Add(const TGCodeMove& m);
};

// Parse state of one LoadFromFile call.
struct TGCodeParseState {
    double X = 0, Y = 0, Z = 0;
    double Feed = 0;
    double ExtruderPos = 0;
    bool AbsolutePositioning = true;  // G90 / G91
    bool RelativeExtrusion = false;   // M83 / M82
    int32_t LayerIndex = 0;
    double LastLayerHeight = -1e10;
    bool LayerCommentMode = false;
};

class TGCodeParser {
public:
    // LoadFromFile reads the file in blocks of this size; a line may straddle
    // two blocks.
    static constexpr size_t kReadBlockSize = size_t(1) << 20;
    // No G-code line needs more: a longer one is parsed up to its last blank
    // within this many bytes and the rest of it is skipped, so a file without
    // line breaks costs no more memory than any other.
    static constexpr size_t kMaxLineLength = size_t(64) << 10;

    // The moves read; MoveCount of them.
    TGCodeMoveStore Moves;
    int32_t MoveCount = 0;
    double MinX, MaxX, MinY, MaxY, MinZ, MaxZ;
    double PrintMinX, PrintMaxX, PrintMinY, PrintMaxY, PrintMinZ, PrintMaxZ;
    bool HasPrintBounds = false;
    TGCodeFeature CurrentFeature = gfNone;
    float LineWidth = 0.4f;
    float LayerHeight = 0.2f;
    int32_t LayerCount = 0;
    // The move array could not grow (memory, the 32-bit address space, or
    // 2^31 moves): loading stopped there, and the moves before are kept.
    bool Incomplete = false;
    // Reason of the last failed load (UTF-8); empty after a success.
    std::string ErrorMsg;
    // Bytes the move store may take; growing past them counts as running out
    // of memory.
    size_t MoveMemoryLimit = SIZE_MAX;
    // Large files are lexed on several cores (their lines still take effect
    // in file order); false reads every file in one pass on the caller's thread.
    bool ReadInParts = true;

    TGCodeParser();

    void Clear();
    // Reads the whole file; safe for untrusted input. False, with ErrorMsg
    // set and the parser cleared, when the name is empty, the file cannot be
    // opened or a read fails. Running out of memory for moves is a success
    // marked Incomplete.
    bool LoadFromFile(const std::wstring& FileName);
    // One line of text (bytes, without its line break).
    void ParseLine(const char* line, size_t length, TGCodeParseState& state);
    // One word of a command line from pos (0-based, advanced past the word).
    static bool ReadWord(const char* line, size_t length, size_t& pos, char& letter, double& value);
    void AddMove(const TGCodeMove& move);
    void UpdateBounds(const TGCodeMove& move);
    void ComputePrintBounds();
    // Copy of move i, or an all-zero move when i is out of range.
    TGCodeMove GetMove(int32_t i) const;

private:
    struct TWords;  // the words of one command line
    struct TLexed;  // what one line asks for, read without the parse state

    // The boxes the print bounds are chosen from, kept by AddMove so that
    // ComputePrintBounds need not read the moves again. A box is no longer
    // kept once one that ranks above it holds a point.
    struct TPrintBoxes {
        TGCodeBox Arcs, Printed, Lines, NonRapid;
        int32_t Moves = 0;  // how many moves the boxes have seen

        void Add(const TGCodeMove& m);
        const TGCodeBox& Best() const;
    };
    TPrintBoxes PrintBoxes_;

    static bool Lex(const char* line, size_t length, TLexed& out);
    void Execute(const TLexed& lexed, TGCodeParseState& state);
    void LoadInChunks(const TFile& file, uint64_t size, int parts, TGCodeParseState& state);
    void ExecuteCommand(const TWords& words, TGCodeParseState& state);
    void ExecuteMove(TGCodeMoveKind kind, const TWords& words, TGCodeParseState& state);
    void ApplyLayerComment(double height, TGCodeParseState& state);
    void OpenLayer(double height, TGCodeParseState& state);
};

// True for the names the viewer opens as G-code: extensions .GCODE, .GCO,
// .NC, .NGC, .G and .TAP in any letter case.
bool IsGCodeFileName(const std::wstring& name);
// The names whose thumbnails are toolpaths: .GCODE, .GCO, .NC and .NGC only
// (.G and .TAP files take the model path and get no thumbnail).
bool IsGCodeThumbnailName(const std::wstring& name);

// Process-wide colour-by-layer switch, written by the view and read by the
// thumbnail renderer, always atomically.
void SetColorByLayer(bool on);
bool GetColorByLayer();

}  // namespace voxaro
