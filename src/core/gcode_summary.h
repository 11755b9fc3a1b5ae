// The texts that sum a loaded toolpath up for the user: the status line, the
// side panel's information and the note of a load that stopped early. Plain
// ASCII, whatever the numbers.
#pragma once

#include <string>

namespace voxaro {

class TGCodeParser;

// "Incomplete: out of memory after %d moves" when loading stopped early,
// otherwise empty.
std::string IncompleteNote(const TGCodeParser& parser);
// "GCode  |  Moves: %d  |  Layers: %d", then "  |  " and the incomplete note
// when there is one, then "  |  MSAA %dx" when samples is 1 or more.
std::string GCodeStatusLine(const TGCodeParser& parser, int samples);
// "Moves:  %d\nLayers: %d", with print bounds "\nX: %.0f..%.0f",
// "\nY: %.0f..%.0f" and "\nZ: %.1f..%.1f mm", then "\n" and the incomplete
// note when there is one. Never cut, however long the numbers are.
std::string GCodePanelInfo(const TGCodeParser& parser);

}  // namespace voxaro
