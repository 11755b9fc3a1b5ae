// Fuzzes the G-code parser: any bytes must parse without a crash, and the
// counts and moves must stay consistent.
#include <cstdlib>

#include "GCodeParser.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring name = voxaro::fuzz::WriteInput(data, size, ".gcode");
    voxaro::TGCodeParser parser;
    if (!parser.LoadFromFile(name)) std::abort();  // the file exists: parsing never fails
    if (parser.LayerCount < 1 || parser.MoveCount < 0) std::abort();
    for (int32_t i = 0; i < parser.MoveCount; ++i) {
        voxaro::TGCodeMove m = parser.GetMove(i);
        if (m.Kind > voxaro::mkCounterClockwiseArc || m.Layer < 0) std::abort();
    }
    return 0;
}
