#include "GCodeParser.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "decimal.h"
#include "file_io.h"
#include "reader_error.h"
#include "text_scan.h"

namespace voxaro {

namespace {

std::atomic<int32_t> ColorByLayerFlag{0};

// ---------------------------------------------------------------------------
// Text helpers. Lines are raw bytes and may hold NULs, so nothing here relies
// on terminators.

inline bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// First occurrence of a marker that starts with ';'. Jumping between
// semicolons with memchr keeps comment-free stretches cheap.
const char* FindMarker(const char* begin, const char* end, const char* marker, bool ignoreCase)
{
    const size_t n = std::strlen(marker);
    const char* p = begin;
    while (static_cast<size_t>(end - p) >= n) {
        p = static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(end - p) - n + 1));
        if (!p) return nullptr;
        bool same = ignoreCase ? SameNoCase(p + 1, marker + 1, n - 1) : std::memcmp(p + 1, marker + 1, n - 1) == 0;
        if (same) return p;
        ++p;
    }
    return nullptr;
}

bool ParseTrimmed(const char* begin, const char* end, double& value)
{
    Trim(begin, end);
    return ParseDecimal(begin, end, value);
}

// A width or height comment: the number, or the default when it does not
// convert. Values a single cannot hold count as not converting.
float ParseFloatOr(const char* begin, const char* end, float fallback)
{
    double v = 0;
    if (!ParseTrimmed(begin, end, v) || std::fabs(v) > FLT_MAX) return fallback;
    return static_cast<float>(v);
}

// G and M numbers rounded to the nearest integer, ties to even. Values far
// outside any real code map to -1, which no rule acts on.
int RoundCode(double v)
{
    if (!(v > -1e9 && v < 1e9)) return -1;
    return static_cast<int>(RoundHalfEven(v));
}

// ---------------------------------------------------------------------------
// Feature names. Order matters: the first keyword contained in the text wins.

struct TKeyword {
    const char* Text;
    TGCodeFeature Feature;
};

const TKeyword FeatureKeywords[] = {
    {"SUPPORT INTERFACE", gfSupportInterface},
    {"SUPPORT", gfSupport},
    {"OUTER WALL", gfOuterWall},
    {"INNER WALL", gfInnerWall},
    {"TOP SURFACE", gfTopSurface},
    {"BOTTOM SURFACE", gfBottomSurface},
    {"SPARSE INFILL", gfSparseInfill},
    {"INTERNAL INFILL", gfSparseInfill},
    {"SOLID INFILL", gfSolidInfill},
    {"BRIDGE", gfBridge},
    {"SKIRT", gfSkirtBrim},
    {"BRIM", gfSkirtBrim},
    {"PRIME TOWER", gfWipeTower},
    {"WIPE TOWER", gfWipeTower},
    {"IRONING", gfIroning},
};

const TKeyword TypeKeywords[] = {
    {"SUPPORT-INTERFACE", gfSupportInterface},
    {"SUPPORT INTERFACE", gfSupportInterface},
    {"SUPPORT MATERIAL IN", gfSupportInterface},
    {"SUPPORT", gfSupport},
    {"WALL-OUTER", gfOuterWall},
    {"EXTERNAL PERIMETER", gfOuterWall},
    {"WALL-INNER", gfInnerWall},
    {"PERIMETER", gfInnerWall},
    {"TOP SOLID", gfTopSurface},
    {"SKIN", gfTopSurface},
    {"SOLID INFILL", gfSolidInfill},
    {"INFILL", gfSparseInfill},
    {"BRIDGE", gfBridge},
    {"SKIRT", gfSkirtBrim},
    {"IRONING", gfIroning},
};

template <size_t N> TGCodeFeature MatchFeature(const char* begin, const char* end, const TKeyword (&table)[N])
{
    Trim(begin, end);
    for (const TKeyword& k : table)
        if (FindNoCase(begin, end, k.Text)) return k.Feature;
    return gfNone;
}

// ---------------------------------------------------------------------------
// Streams a file in fixed blocks and hands out its lines in place, split at
// CR, LF and CR LF as ForEachLine splits a range. Its one buffer holds a block
// and the unfinished line carried over from the block before, so memory stays
// fixed whatever the file holds: a line longer than MaxLineLength is handed
// out cut short, at its last blank within the limit so that no word is split,
// and the rest of it is read past without being kept.

class TLineReader {
public:
    explicit TLineReader(TFile& file)
        : File_(file), Buf_(new char[TGCodeParser::MaxLineLength + TGCodeParser::ReadBlockSize])
    {
    }

    // The next line without its break; false after the last one.
    bool Next(const char*& line, size_t& length)
    {
        for (;;) {
            if (SkipLF_ && !SkipPendingLF()) continue;
            if (Skipping_ && !SkipRestOfLine()) continue;
            size_t brk = FindBreak(Scan_);
            if (brk < End_) {
                Hand(brk - Begin_, line, length);
                SkipLF_ = Buf_[brk] == '\r';
                Begin_ = Scan_ = brk + 1;
                return true;
            }
            Scan_ = End_;
            if (End_ - Begin_ > TGCodeParser::MaxLineLength) {
                // No break in sight: the head now, the rest of the line skipped.
                Hand(End_ - Begin_, line, length);
                Skipping_ = true;
                Begin_ = Scan_ = End_;
                return true;
            }
            if (Eof_) {
                if (Begin_ == End_) return false;
                Hand(End_ - Begin_, line, length);
                Begin_ = Scan_ = End_;
                return true;
            }
            Refill();
        }
    }

private:
    // The line starting at Begin_, cut to the limit when it is longer.
    void Hand(size_t size, const char*& line, size_t& length) const
    {
        line = Buf_.get() + Begin_;
        length = size;
        if (size <= TGCodeParser::MaxLineLength) return;
        length = TGCodeParser::MaxLineLength;
        while (length > 0 && !IsBlank(line[length]))
            --length;
        if (length == 0) length = TGCodeParser::MaxLineLength;  // one endless word
    }

    // After a CR: drop one LF if it follows. False when a read was needed
    // first (the caller then tries again).
    bool SkipPendingLF()
    {
        if (Begin_ < End_) {
            if (Buf_[Begin_] == '\n') Begin_ = Scan_ = Begin_ + 1;
            SkipLF_ = false;
            return true;
        }
        if (Eof_) {
            SkipLF_ = false;
            return true;
        }
        Refill();
        return false;
    }

    // Drops the rest of an over-long line up to its break. False when a read
    // was needed first.
    bool SkipRestOfLine()
    {
        size_t brk = FindBreak(Begin_);
        if (brk < End_) {
            SkipLF_ = Buf_[brk] == '\r';
            Begin_ = Scan_ = brk + 1;
            Skipping_ = false;
            return true;
        }
        Begin_ = Scan_ = End_;
        if (Eof_) {
            Skipping_ = false;
            return true;
        }
        Refill();
        return false;
    }

    // Position of the next CR or LF at or after from, or End_.
    size_t FindBreak(size_t from) const
    {
        return static_cast<size_t>(FindLineBreak(Buf_.get() + from, Buf_.get() + End_) - Buf_.get());
    }

    // Moves the unfinished line (not longer than the limit) to the front and
    // reads one block behind it; a read error raises TReaderError.
    void Refill()
    {
        if (Begin_ > 0) {
            std::memmove(Buf_.get(), Buf_.get() + Begin_, End_ - Begin_);
            End_ -= Begin_;
            Scan_ -= Begin_;
            Begin_ = 0;
        }
        const size_t block = TGCodeParser::ReadBlockSize;
        size_t got = 0;
        while (got < block) {
            size_t n = 0;
            if (!File_.Read(Buf_.get() + End_ + got, block - got, n))
                throw TReaderError("Read error at byte " + std::to_string(Offset_ + got) + " (error " +
                                   std::to_string(File_.LastError()) + ").");
            if (n == 0) {
                Eof_ = true;
                break;
            }
            got += n;
        }
        End_ += got;
        Offset_ += got;
    }

    TFile& File_;
    std::unique_ptr<char[]> Buf_;
    size_t Begin_ = 0;     // start of the current line
    size_t End_ = 0;       // end of the valid bytes
    size_t Scan_ = 0;      // [Begin_, Scan_) is known to hold no line break
    uint64_t Offset_ = 0;  // file bytes read so far
    bool Eof_ = false;
    bool SkipLF_ = false;
    bool Skipping_ = false;  // inside the rest of an over-long line
};

// A box of end points, empty until the first one.
struct TBox {
    double Min[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
    double Max[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    bool Any = false;

    void Add(const TGCodeMove& m)
    {
        const double p[3] = {m.X, m.Y, m.Z};
        for (int k = 0; k < 3; ++k) {
            Min[k] = std::min(Min[k], p[k]);
            Max[k] = std::max(Max[k], p[k]);
        }
        Any = true;
    }
};

}  // namespace

// The words of one command line, the axis letters indexed by AxisIndex.
struct TGCodeParser::TWords {
    enum { AX, AY, AZ, AI, AJ, AK, AF, AE, Count };
    double Value[Count] = {};
    bool Has[Count] = {};
    bool HasG = false;
    double G = 0;

    static int AxisIndex(char letter)
    {
        switch (letter) {
        case 'X': return AX;
        case 'Y': return AY;
        case 'Z': return AZ;
        case 'I': return AI;
        case 'J': return AJ;
        case 'K': return AK;
        case 'F': return AF;
        case 'E': return AE;
        default: return -1;
        }
    }
    double Get(int axis) const { return Has[axis] ? Value[axis] : 0.0; }
};

// ---------------------------------------------------------------------------

TGCodeParser::TGCodeParser()
{
    Clear();
}

void TGCodeParser::Clear()
{
    Moves.Clear();
    MoveCount = 0;
    Incomplete = false;
    ErrorMsg.clear();
    MinX = MinY = MinZ = DBL_MAX;
    MaxX = MaxY = MaxZ = -DBL_MAX;
    PrintMinX = PrintMinY = PrintMinZ = DBL_MAX;
    PrintMaxX = PrintMaxY = PrintMaxZ = -DBL_MAX;
    HasPrintBounds = false;
    CurrentFeature = gfNone;
    LineWidth = 0.4f;
    LayerHeight = 0.2f;
    LayerCount = 0;
}

namespace {

// "GCode: Failed to parse " and the name without its folder, with the reason
// when the name is not a regular file.
std::string OpenFailureText(const std::wstring& fileName, uint32_t error)
{
    size_t slash = fileName.find_last_of(L"\\/");
    std::string text =
        "GCode: Failed to parse " + WideToUtf8(fileName.substr(slash == std::wstring::npos ? 0 : slash + 1));
    if (error == kNotRegularFile) text += " (not a regular file)";
    return text;
}

}  // namespace

bool TGCodeParser::LoadFromFile(const std::wstring& FileName)
{
    Clear();
    TFile file;
    if (FileName.empty() || !file.Open(FileName)) {
        ErrorMsg = OpenFailureText(FileName, file.LastError());
        return false;
    }

    LayerCount = 1;
    TGCodeParseState state;
    const bool read = RunStage(ErrorMsg, "GCode: ", [&] {
        TLineReader reader(file);
        const char* line = nullptr;
        size_t length = 0;
        while (!Incomplete && reader.Next(line, length))
            ParseLine(line, length, state);
        return true;
    });
    file.Close();
    if (!read) {
        std::string reason = std::move(ErrorMsg);
        Clear();
        ErrorMsg = std::move(reason);
        return false;
    }

    if (MoveCount == 0) {
        MinX = 0, MaxX = 100;
        MinY = 0, MaxY = 100;
        MinZ = 0, MaxZ = 10;
    }
    ComputePrintBounds();
    return true;
}

void TGCodeParser::ParseLine(const char* line, size_t length, TGCodeParseState& state)
{
    const char* end = line + length;
    // Every comment the parser understands holds a ';'; most lines have none.
    const char* semicolon = static_cast<const char*>(std::memchr(line, ';', length));
    if (semicolon) {
        if (ParseHeightComment(line, end, state)) return;
        const char* begin = line;
        const char* trimmedEnd = end;
        Trim(begin, trimmedEnd);
        if (ParseSlicerComment(begin, trimmedEnd)) return;
    }
    ParseCommandLine(line, semicolon ? semicolon : end, state);
}

// "; Z_HEIGHT:" anywhere (exact case) or ";Z:" at the very start of the line.
bool TGCodeParser::ParseHeightComment(const char* line, const char* end, TGCodeParseState& state)
{
    static const char ZHeight[] = "; Z_HEIGHT:";
    const char* text = nullptr;
    if (const char* m = FindMarker(line, end, ZHeight, false))
        text = m + sizeof(ZHeight) - 1;
    else if (end - line > 2 && line[0] == ';' && line[1] == 'Z' && line[2] == ':')
        text = line + 3;
    else
        return false;
    double h = 0;
    if (ParseTrimmed(text, end, h)) ApplyLayerComment(h, state);
    return true;
}

// Feature, width and height comments, matched on the trimmed line without
// regard to letter case.
bool TGCodeParser::ParseSlicerComment(const char* begin, const char* end)
{
    static const char Feature[] = "; FEATURE:";
    static const char Width[] = "; LINE_WIDTH:";
    static const char Height[] = "; LAYER_HEIGHT:";
    static const char Type[] = ";TYPE:";
    if (const char* m = FindMarker(begin, end, Feature, true)) {
        CurrentFeature = MatchFeature(m + sizeof(Feature) - 1, end, FeatureKeywords);
        return true;
    }
    if (const char* m = FindMarker(begin, end, Width, true)) {
        LineWidth = ParseFloatOr(m + sizeof(Width) - 1, end, 0.4f);
        return true;
    }
    if (const char* m = FindMarker(begin, end, Height, true)) {
        LayerHeight = ParseFloatOr(m + sizeof(Height) - 1, end, 0.2f);
        return true;
    }
    const size_t typeLen = sizeof(Type) - 1;
    if (static_cast<size_t>(end - begin) > typeLen && SameNoCase(begin, Type, typeLen)) {
        CurrentFeature = MatchFeature(begin + typeLen, end, TypeKeywords);
        return true;
    }
    return false;
}

// The line up to its first ';' (already cut off by the caller).
void TGCodeParser::ParseCommandLine(const char* line, const char* end, TGCodeParseState& state)
{
    if (const void* paren = std::memchr(line, '(', static_cast<size_t>(end - line)))
        end = static_cast<const char*>(paren);
    Trim(line, end);
    if (line == end) return;

    TWords words;
    const size_t length = static_cast<size_t>(end - line);
    size_t pos = 0;
    char letter = 0;
    double value = 0;
    while (ReadWord(line, length, pos, letter, value)) {
        if (letter == 'G') {
            words.G = value;
            words.HasG = true;
            int code = RoundCode(value);
            if (code == 90) state.AbsolutePositioning = true;
            if (code == 91) state.AbsolutePositioning = false;
        } else if (letter == 'M') {
            int code = RoundCode(value);
            if (code == 82) state.RelativeExtrusion = false;
            if (code == 83) state.RelativeExtrusion = true;
        } else {
            int axis = TWords::AxisIndex(letter);
            if (axis >= 0) {
                words.Value[axis] = value;
                words.Has[axis] = true;
            }
        }
    }

    int kind = 0;
    if (words.HasG)
        kind = RoundCode(words.G);
    else if (words.Has[TWords::AX] || words.Has[TWords::AY] || words.Has[TWords::AZ])
        kind = mkLinear;  // bare coordinates: a linear move
    else
        return;

    if (kind == 92) {
        if (words.Has[TWords::AX]) state.X = words.Value[TWords::AX];
        if (words.Has[TWords::AY]) state.Y = words.Value[TWords::AY];
        if (words.Has[TWords::AZ]) state.Z = words.Value[TWords::AZ];
        if (words.Has[TWords::AE]) state.ExtruderPos = words.Value[TWords::AE];
        return;
    }
    if (kind >= mkRapid && kind <= mkCounterClockwiseArc) ExecuteMove(static_cast<TGCodeMoveKind>(kind), words, state);
}

void TGCodeParser::ExecuteMove(TGCodeMoveKind kind, const TWords& w, TGCodeParseState& state)
{
    if (w.Has[TWords::AF]) state.Feed = w.Value[TWords::AF];

    const double oldE = state.ExtruderPos;
    const bool hasE = w.Has[TWords::AE];
    if (hasE) state.ExtruderPos = state.RelativeExtrusion ? oldE + w.Value[TWords::AE] : w.Value[TWords::AE];

    double tx, ty, tz;
    if (state.AbsolutePositioning) {
        tx = w.Has[TWords::AX] ? w.Value[TWords::AX] : state.X;
        ty = w.Has[TWords::AY] ? w.Value[TWords::AY] : state.Y;
        tz = w.Has[TWords::AZ] ? w.Value[TWords::AZ] : state.Z;
    } else {
        tx = state.X + w.Get(TWords::AX);
        ty = state.Y + w.Get(TWords::AY);
        tz = state.Z + w.Get(TWords::AZ);
    }

    // Without height comments a rise in Z opens a layer, travel included.
    if (!state.LayerCommentMode && tz > state.LastLayerHeight + 0.001 && tz > 0) OpenLayer(tz, state);

    const bool moved =
        std::fabs(tx - state.X) >= 1e-9 || std::fabs(ty - state.Y) >= 1e-9 || std::fabs(tz - state.Z) >= 1e-9;
    if (moved) {
        TGCodeMove m{};
        m.Kind = kind;
        m.X = tx, m.Y = ty, m.Z = tz;
        m.I = w.Get(TWords::AI), m.J = w.Get(TWords::AJ), m.K = w.Get(TWords::AK);
        m.E = state.ExtruderPos;
        m.F = state.Feed;
        m.Layer = state.LayerIndex;
        m.Extrude = hasE && (state.RelativeExtrusion ? w.Value[TWords::AE] > 1e-6 : state.ExtruderPos - oldE > 1e-6);
        m.Feature = CurrentFeature;
        m.LineWidth = LineWidth;
        m.LayerHeight = LayerHeight;
        const int32_t before = MoveCount;
        AddMove(m);
        if (MoveCount != before) UpdateBounds(m);
    }
    state.X = tx, state.Y = ty, state.Z = tz;
}

// The first height comment switches layer counting from Z moves to comments.
void TGCodeParser::ApplyLayerComment(double height, TGCodeParseState& state)
{
    if (!state.LayerCommentMode) {
        state.LayerCommentMode = true;
        state.LayerIndex = 0;
        state.LastLayerHeight = -1e10;
        LayerCount = 1;
    }
    if (height > state.LastLayerHeight + 0.001) OpenLayer(height, state);
}

void TGCodeParser::OpenLayer(double height, TGCodeParseState& state)
{
    // Capped so that LayerCount = index + 1 stays a valid 32-bit count.
    if (state.LayerIndex < INT32_MAX - 1) ++state.LayerIndex;
    LayerCount = std::max(LayerCount, state.LayerIndex + 1);
    state.LastLayerHeight = height;
}

// A letter, then a number taken as sign, digits and points; no exponent.
bool TGCodeParser::ReadWord(const char* line, size_t length, size_t& pos, char& letter, double& value)
{
    while (pos < length && (line[pos] == ' ' || line[pos] == '\t'))
        ++pos;
    if (pos >= length || !IsLetter(line[pos])) return false;
    letter = UpperAscii(line[pos++]);
    while (pos < length && line[pos] == ' ')
        ++pos;

    const size_t start = pos;
    if (pos < length && (line[pos] == '+' || line[pos] == '-')) ++pos;
    while (pos < length && (static_cast<unsigned>(line[pos] - '0') < 10 || line[pos] == '.'))
        ++pos;
    if (pos == start) return false;
    return ParseDecimal(line + start, line + pos, value);
}

// Capacity doubles from 256, up to the largest count a 32-bit MoveCount holds
// and MoveMemoryLimit allows.
bool TGCodeParser::GrowMoves()
{
    const size_t limit = std::min<size_t>(INT32_MAX, MoveMemoryLimit / sizeof(TGCodeMove));
    const size_t old = Moves.size();
    if (old >= limit) return false;
    const size_t length = old > limit / 2 ? limit : std::min(limit, std::max<size_t>(old * 2, 256));
    return Moves.Resize(length);
}

void TGCodeParser::AddMove(const TGCodeMove& move)
{
    if (Incomplete) return;
    if (static_cast<size_t>(MoveCount) >= Moves.size() && !GrowMoves()) {
        Incomplete = true;
        return;
    }
    Moves[static_cast<size_t>(MoveCount)] = move;
    ++MoveCount;
}

void TGCodeParser::UpdateBounds(const TGCodeMove& move)
{
    MinX = std::min(MinX, move.X);
    MaxX = std::max(MaxX, move.X);
    MinY = std::min(MinY, move.Y);
    MaxY = std::max(MaxY, move.Y);
    MinZ = std::min(MinZ, move.Z);
    MaxZ = std::max(MaxZ, move.Z);
}

// The part's extent without purge lines and parking moves: arcs first (only
// printed shapes use them), then printed lines above the first layer change,
// then any lines there, and finally every non-rapid move.
void TGCodeParser::ComputePrintBounds()
{
    if (MoveCount == 0) return;
    // All four candidate boxes in one sweep over the array; the first that
    // is not empty wins, as if the passes ran one after the other.
    TBox arcs, printed, lines, nonRapid;
    for (int32_t i = 0; i < MoveCount; ++i) {
        const TGCodeMove& m = Moves[static_cast<size_t>(i)];
        if (m.Kind == mkRapid) continue;
        nonRapid.Add(m);
        if (IsArc(m.Kind)) arcs.Add(m);
        if (m.Kind == mkLinear && m.Layer >= 1) {
            lines.Add(m);
            if (m.Extrude) printed.Add(m);
        }
    }
    const TBox& box = arcs.Any ? arcs : printed.Any ? printed : lines.Any ? lines : nonRapid;
    PrintMinX = box.Min[0], PrintMaxX = box.Max[0];
    PrintMinY = box.Min[1], PrintMaxY = box.Max[1];
    PrintMinZ = box.Min[2], PrintMaxZ = box.Max[2];
    HasPrintBounds = box.Any;
}

TGCodeMove TGCodeParser::GetMove(int32_t i) const
{
    if (i < 0 || i >= MoveCount) return TGCodeMove{};
    return Moves[static_cast<size_t>(i)];
}

namespace {

// The name's extension with its dot, upper-cased (ASCII), or "" when the last
// dot is not in the file name itself.
std::wstring UpperExtension(const std::wstring& name)
{
    size_t dot = name.find_last_of(L'.');
    size_t slash = name.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
    std::wstring ext = name.substr(dot);
    UpperCaseAscii(ext);
    return ext;
}

bool IsOneOf(const std::wstring& ext, std::initializer_list<const wchar_t*> known)
{
    for (const wchar_t* k : known)
        if (ext == k) return true;
    return false;
}

}  // namespace

bool IsGCodeFileName(const std::wstring& name)
{
    return IsOneOf(UpperExtension(name), {L".GCODE", L".GCO", L".NC", L".NGC", L".G", L".TAP"});
}

bool IsGCodeThumbnailName(const std::wstring& name)
{
    return IsOneOf(UpperExtension(name), {L".GCODE", L".GCO", L".NC", L".NGC"});
}

void SetColorByLayer(bool on)
{
    ColorByLayerFlag.exchange(on ? 1 : 0);
}

bool GetColorByLayer()
{
    int32_t expected = 0;
    ColorByLayerFlag.compare_exchange_strong(expected, 0);
    return expected != 0;
}

}  // namespace voxaro
