#include "GCodeParser.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include "decimal.h"
#include "file_io.h"
#include "line_chunks.h"
#include "parallel.h"
#include "pod_allocator.h"
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
    const int whole = static_cast<int>(v);
    if (whole == v) return whole;  // the usual case, and what rounding gives
    return static_cast<int>(RoundHalfEven(v));
}

inline bool IsDigit(char c)
{
    return static_cast<unsigned>(c - '0') < 10;
}

// The number of a word: an optional sign, then the run of digits and points
// from p; p ends past the run. Converted as ParseDecimal converts the run.
bool ReadNumber(const char*& p, const char* end, double& value)
{
    // One pass for the usual form: sign, digits, at most one point, and no
    // more than 19 digits, so that the mantissa cannot overflow. ScaleExactly
    // then gives the correctly rounded value ParseDecimal gives too.
    const char* start = p;
    const bool negative = TakeSign(p, end);
    const char* digits = p;
    uint64_t mantissa = 0;
    while (p < end && IsDigit(*p))
        mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    ptrdiff_t count = p - digits, fraction = 0;
    if (p < end && *p == '.') {
        const char* first = ++p;
        while (p < end && IsDigit(*p))
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = p - first;
        count += fraction;
    }
    double v = 0;
    if (count > 0 && count <= 19 && (p == end || *p != '.') && ScaleExactly(mantissa, -static_cast<int>(fraction), v)) {
        value = WithSign(v, negative);
        return true;
    }
    // Anything else (a lone sign or point, a second point, long digit runs):
    // the general conversion of the whole run.
    p = start;
    TakeSign(p, end);
    while (p < end && (IsDigit(*p) || *p == '.'))
        ++p;
    return p != start && ParseDecimal(start, p, value);
}

// A letter, then the number; spaces (not tabs) may come between them.
inline bool ReadWordAt(const char*& p, const char* end, char& letter, double& value)
{
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    if (p >= end || !IsLetter(*p)) return false;
    letter = UpperAscii(*p++);
    while (p < end && *p == ' ')
        ++p;
    return ReadNumber(p, end, value);
}

// ---------------------------------------------------------------------------
// Feature names. Order matters: the first keyword contained in the text wins.

struct TKeyword {
    const char* Text;
    TGCodeFeature Feature;
};

const TKeyword kFeatureKeywords[] = {
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

const TKeyword kTypeKeywords[] = {
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
// fixed whatever the file holds: a line longer than kMaxLineLength is handed
// out cut short, at its last blank within the limit so that no word is split,
// and the rest of it is read past without being kept.

class TLineReader {
public:
    explicit TLineReader(TFile& file)
        : File_(file), Buf_(new char[TGCodeParser::kMaxLineLength + TGCodeParser::kReadBlockSize])
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
            if (End_ - Begin_ > TGCodeParser::kMaxLineLength) {
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
        length = CutLine(line, size, TGCodeParser::kMaxLineLength);
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
        const size_t block = TGCodeParser::kReadBlockSize;
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

}  // namespace

// The words of one command line. Positioning and extrusion modes named on
// the line are kept, the last of each kind winning as if applied in word
// order, and take effect only once the line is known to be a command: a
// comment further on may still consume it.
struct TGCodeParser::TWords {
    enum { AX, AY, AZ, AI, AJ, AK, AF, AE, AG, Count, None = -1 };
    double Value[Count];
    uint32_t Present = 0;  // bit per index
    int Positioning = 0;   // 90, 91, or 0 when the line names neither
    int Extrusion = 0;     // 82, 83, or 0

    bool Has(int index) const { return (Present >> index) & 1; }
    double Get(int index) const { return Has(index) ? Value[index] : 0.0; }

    // Reads words from p until one fails; returns where the scan stopped.
    const char* Read(const char* p, const char* end)
    {
        char letter = 0;
        double value = 0;
        while (ReadWordAt(p, end, letter, value)) {
            const int index = Index(letter);
            if (index != None) {
                Value[index] = value;
                Present |= 1u << index;
            }
            if (letter == 'G' || letter == 'M') NoteMode(letter, RoundCode(value));
        }
        return p;
    }

private:
    static int Index(char letter)
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
        case 'G': return AG;
        default: return None;
        }
    }
    void NoteMode(char letter, int code)
    {
        if (letter == 'G' && (code == 90 || code == 91)) Positioning = code;
        if (letter == 'M' && (code == 82 || code == 83)) Extrusion = code;
    }
};

// A line as Execute applies it: a command's words, or what a comment sets.
struct TGCodeParser::TLexed {
    enum TKind : uint8_t { Command, LayerComment, Feature, Width, Height };
    TKind Kind;
    TGCodeFeature FeatureValue;  // Feature
    float Size;                  // Width, Height
    double LayerHeight;          // LayerComment
    TWords Words;                // Command
};

void TGCodeBox::Add(const TGCodeMove& m)
{
    const double p[3] = {m.X, m.Y, m.Z};
    for (int k = 0; k < 3; ++k) {
        Min[k] = std::min(Min[k], p[k]);
        Max[k] = std::max(Max[k], p[k]);
    }
    Any = true;
}

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
    PrintBoxes_ = TPrintBoxes();
}

namespace {

// "GCode: Failed to parse " and the name without its folder, with the reason
// when the name is not a regular file.
std::string OpenFailureText(const std::wstring& fileName, uint32_t error)
{
    std::string text = "GCode: Failed to parse " + WideToUtf8(FileNameOnly(fileName));
    if (error == kNotRegularFile || error == kFolder) text += " (" + OpenErrorText(error) + ")";
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
    uint64_t size = 0;
    const int parts = ReadInParts && file.Size(size) ? PartsFor(size) : 1;
    const bool read = RunStage(ErrorMsg, "GCode: ", [&] {
        if (parts > 1) {
            LoadInChunks(file, size, parts, state);
            return true;
        }
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
    Moves.ShrinkToFit();
    ComputePrintBounds();
    return true;
}

void TGCodeParser::ParseLine(const char* line, size_t length, TGCodeParseState& state)
{
    TLexed lexed;
    if (Lex(line, length, lexed)) Execute(lexed, state);
}

namespace {

// "; Z_HEIGHT:" anywhere (exact case) or ";Z:" at the very start of the
// line: the text after it, or null.
const char* HeightCommentText(const char* line, const char* end)
{
    static const char kZHeight[] = "; Z_HEIGHT:";
    if (const char* m = FindMarker(line, end, kZHeight, false)) return m + sizeof(kZHeight) - 1;
    if (end - line > 2 && line[0] == ';' && line[1] == 'Z' && line[2] == ':') return line + 3;
    return nullptr;
}

}  // namespace

// Feature, width and height comments are matched on the trimmed line without
// regard to letter case. False for a line that does nothing: a height
// comment whose number does not convert, or a line without words or modes.
bool TGCodeParser::Lex(const char* line, size_t length, TLexed& out)
{
    static const char kFeature[] = "; FEATURE:";
    static const char kWidth[] = "; LINE_WIDTH:";
    static const char kHeight[] = "; LAYER_HEIGHT:";
    static const char kType[] = ";TYPE:";
    const char* end = line + length;
    const char* begin = line;
    Trim(begin, end);
    // The command's words end at the first ';' or '(' at the latest, as
    // neither can be part of a word.
    out.Words.Present = 0;
    out.Words.Positioning = out.Words.Extrusion = 0;
    const char* stop = out.Words.Read(begin, end);
    out.Kind = TLexed::Command;
    // Every comment the parser understands holds a ';', and no word does:
    // most lines end their scan at the end and have none.
    if (stop != end && std::memchr(stop, ';', static_cast<size_t>(end - stop))) {
        if (const char* text = HeightCommentText(line, line + length)) {
            out.Kind = TLexed::LayerComment;
            return ParseTrimmed(text, line + length, out.LayerHeight);
        }
        if (const char* m = FindMarker(begin, end, kFeature, true)) {
            out.Kind = TLexed::Feature;
            out.FeatureValue = MatchFeature(m + sizeof(kFeature) - 1, end, kFeatureKeywords);
            return true;
        }
        if (const char* m = FindMarker(begin, end, kWidth, true)) {
            out.Kind = TLexed::Width;
            out.Size = ParseFloatOr(m + sizeof(kWidth) - 1, end, 0.4f);
            return true;
        }
        if (const char* m = FindMarker(begin, end, kHeight, true)) {
            out.Kind = TLexed::Height;
            out.Size = ParseFloatOr(m + sizeof(kHeight) - 1, end, 0.2f);
            return true;
        }
        const size_t typeLen = sizeof(kType) - 1;
        if (static_cast<size_t>(end - begin) > typeLen && SameNoCase(begin, kType, typeLen)) {
            out.Kind = TLexed::Feature;
            out.FeatureValue = MatchFeature(begin + typeLen, end, kTypeKeywords);
            return true;
        }
    }
    const TWords& w = out.Words;
    return w.Present != 0 || w.Positioning != 0 || w.Extrusion != 0;
}

void TGCodeParser::Execute(const TLexed& lexed, TGCodeParseState& state)
{
    switch (lexed.Kind) {
    case TLexed::Command: ExecuteCommand(lexed.Words, state); break;
    case TLexed::LayerComment: ApplyLayerComment(lexed.LayerHeight, state); break;
    case TLexed::Feature: CurrentFeature = lexed.FeatureValue; break;
    case TLexed::Width: LineWidth = lexed.Size; break;
    case TLexed::Height: LayerHeight = lexed.Size; break;
    }
}

// Files large enough to be read on several cores: lines lexed side by side
// in chunks, executed in file order.
void TGCodeParser::LoadInChunks(const TFile& file, uint64_t size, int parts, TGCodeParseState& state)
{
    using TBatch = std::vector<TLexed, TPodAllocator<TLexed>>;
    TLineChunks<TBatch> chunks(file, size, kMaxLineLength);
    chunks.Read(
        parts,
        [](const char* line, size_t length, TBatch& batch) {
            batch.emplace_back();
            if (!Lex(line, length, batch.back())) batch.pop_back();
        },
        [&](const TBatch& batch) {
            for (const TLexed& lexed : batch) {
                if (Incomplete) return false;
                Execute(lexed, state);
            }
            return !Incomplete;
        });
}

void TGCodeParser::ExecuteCommand(const TWords& words, TGCodeParseState& state)
{
    if (words.Positioning != 0) state.AbsolutePositioning = words.Positioning == 90;
    if (words.Extrusion != 0) state.RelativeExtrusion = words.Extrusion == 83;

    int kind = 0;
    if (words.Has(TWords::AG))
        kind = RoundCode(words.Value[TWords::AG]);
    else if (words.Has(TWords::AX) || words.Has(TWords::AY) || words.Has(TWords::AZ))
        kind = mkLinear;  // bare coordinates: a linear move
    else
        return;

    if (kind == 92) {
        if (words.Has(TWords::AX)) state.X = words.Value[TWords::AX];
        if (words.Has(TWords::AY)) state.Y = words.Value[TWords::AY];
        if (words.Has(TWords::AZ)) state.Z = words.Value[TWords::AZ];
        if (words.Has(TWords::AE)) state.ExtruderPos = words.Value[TWords::AE];
        return;
    }
    if (kind >= mkRapid && kind <= mkCounterClockwiseArc) ExecuteMove(static_cast<TGCodeMoveKind>(kind), words, state);
}

void TGCodeParser::ExecuteMove(TGCodeMoveKind kind, const TWords& w, TGCodeParseState& state)
{
    if (w.Has(TWords::AF)) state.Feed = w.Value[TWords::AF];

    const double oldE = state.ExtruderPos;
    const bool hasE = w.Has(TWords::AE);
    if (hasE) state.ExtruderPos = state.RelativeExtrusion ? oldE + w.Value[TWords::AE] : w.Value[TWords::AE];

    double tx, ty, tz;
    if (state.AbsolutePositioning) {
        tx = w.Has(TWords::AX) ? w.Value[TWords::AX] : state.X;
        ty = w.Has(TWords::AY) ? w.Value[TWords::AY] : state.Y;
        tz = w.Has(TWords::AZ) ? w.Value[TWords::AZ] : state.Z;
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
    const char* p = line + pos;
    const bool read = ReadWordAt(p, line + length, letter, value);
    pos = static_cast<size_t>(p - line);
    return read;
}

void TGCodeParser::AddMove(const TGCodeMove& move)
{
    if (Incomplete) return;
    if (!Moves.Append(move, MoveMemoryLimit)) {
        Incomplete = true;
        return;
    }
    ++MoveCount;
    if (PrintBoxes_.Moves == MoveCount - 1) PrintBoxes_.Add(move);
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
    if (PrintBoxes_.Moves != MoveCount) {
        // Moves placed without AddMove: collect the boxes afresh.
        PrintBoxes_ = TPrintBoxes();
        for (int32_t i = 0; i < MoveCount; ++i)
            PrintBoxes_.Add(GetMove(i));
    }
    const TGCodeBox& box = PrintBoxes_.Best();
    PrintMinX = box.Min[0], PrintMaxX = box.Max[0];
    PrintMinY = box.Min[1], PrintMaxY = box.Max[1];
    PrintMinZ = box.Min[2], PrintMaxZ = box.Max[2];
    HasPrintBounds = box.Any;
}

// The boxes as if each had its own pass over the moves. A box stops growing
// once one that ranks above it holds a point, as it can no longer be chosen.
void TGCodeParser::TPrintBoxes::Add(const TGCodeMove& m)
{
    ++Moves;
    if (m.Kind == mkRapid) return;
    if (IsArc(m.Kind)) Arcs.Add(m);
    const bool line = m.Kind == mkLinear && m.Layer >= 1;
    if (line && m.Extrude) Printed.Add(m);
    if (Printed.Any) return;
    if (line) Lines.Add(m);
    if (!Lines.Any) NonRapid.Add(m);
}

const TGCodeBox& TGCodeParser::TPrintBoxes::Best() const
{
    return Arcs.Any ? Arcs : Printed.Any ? Printed : Lines.Any ? Lines : NonRapid;
}

TGCodeMove TGCodeParser::GetMove(int32_t i) const
{
    TGCodeMove m{};
    if (i >= 0 && i < MoveCount && static_cast<size_t>(i) < Moves.Count()) Moves.Get(static_cast<size_t>(i), m);
    return m;
}

namespace {

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
