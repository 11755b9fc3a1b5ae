#include "gcode_summary.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "GCodeParser.h"

namespace voxaro {

namespace {

// printf into a string of whatever length the text needs.
std::string Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text;
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt, again);
        text.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(again);
    return text;
}

}  // namespace

std::string IncompleteNote(const TGCodeParser& parser)
{
    if (!parser.Incomplete) return {};
    return Format("Incomplete: out of memory after %d moves", parser.MoveCount);
}

std::string GCodeStatusLine(const TGCodeParser& parser, int samples)
{
    std::string line = Format("GCode  |  Moves: %d  |  Layers: %d", parser.MoveCount, parser.LayerCount);
    const std::string note = IncompleteNote(parser);
    if (!note.empty()) line += "  |  " + note;
    if (samples >= 1) line += Format("  |  MSAA %dx", samples);
    return line;
}

std::string GCodePanelInfo(const TGCodeParser& parser)
{
    std::string info = Format("Moves:  %d\nLayers: %d", parser.MoveCount, parser.LayerCount);
    if (parser.HasPrintBounds)
        info += Format("\nX: %.0f..%.0f\nY: %.0f..%.0f\nZ: %.1f..%.1f mm", parser.PrintMinX, parser.PrintMaxX,
                       parser.PrintMinY, parser.PrintMaxY, parser.PrintMinZ, parser.PrintMaxZ);
    const std::string note = IncompleteNote(parser);
    if (!note.empty()) info += "\n" + note;
    return info;
}

}  // namespace voxaro
