// Options of the voxaro command's render and thumbnail commands. A G-code
// render starts from the view's state right after a load; its options are the
// side panel's controls.
#pragma once

#include <cstdint>
#include <string>

#include "gcode_renderer.h"

namespace voxaro {

// Largest picture side the commands draw.
constexpr int kMaxPictureSide = 16384;

enum class TViewPreset : uint8_t { Fitted, Top, Front, Side };

// The panel's check boxes after a load: print and lighting on.
inline TGCodeViewOptions ViewAfterLoad()
{
    TGCodeViewOptions v;
    v.ShowPrint = v.Lighting = true;
    return v;
}

struct TRenderOptions {
    int Width = 800;
    int Height = 600;
    bool Thumb = false;  // the thumbnail picture instead of the view
    // Models
    bool Dark = false;
    uint8_t Mode = 0;
    // G-code
    TGCodeViewOptions View = ViewAfterLoad();
    int32_t Layer = -1;      // highest layer drawn; -1: all
    double LineWidth = 0.4;  // mm, in the width slider's 0.1 steps
    TViewPreset Preset = TViewPreset::Fitted;
    // The first option given that only models or only G-code files take.
    std::string ModelOption;
    std::string GCodeOption;
};

struct TThumbnailOptions {
    int Size = 256;
    double Timeout = 5.0;  // seconds; 0 waits as long as it takes
};

// Options from argv[first] on. False with a one-line error for an unknown
// option, a missing value or a bad one.
bool ParseRenderOptions(int argc, char** argv, int first, TRenderOptions& o, std::string& error);
bool ParseThumbnailOptions(int argc, char** argv, int first, TThumbnailOptions& o, std::string& error);

// The error for an option that does not fit the file (a G-code control for a
// model, a model's option for G-code, a view option with --thumb); empty when
// every option fits.
std::string MisfitOption(const TRenderOptions& o, bool gcode);

}  // namespace voxaro
