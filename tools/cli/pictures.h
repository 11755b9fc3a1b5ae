// The pictures the voxaro command draws off screen through OSMesa: the view
// of a file as the viewer shows it, and its thumbnail as the host gets it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli_options.h"
#include "mesh_data.h"

namespace voxaro {

struct TPicture {
    std::vector<uint8_t> Rgb;  // rows top first
    int Width = 0;
    int Height = 0;
    std::string Summary;  // what was drawn, one or more lines
    std::string Error;    // why nothing was drawn
};

// Reads a model with lib3mf looked for beside this program. Errors that
// leave the loader instead of being returned (a STEP file that cannot be
// opened, a 3MF mesh that cannot be had) become its message too.
bool LoadMesh(TMeshData& mesh, const std::wstring& name);

// The file as the view shows it right after a load, changed by the options.
bool DrawView(const std::wstring& name, const TRenderOptions& o, TPicture& picture);

// The picture the host's thumbnail view gets for the file: a toolpath for
// .gcode, .gco, .nc and .ngc, a model for any other name. False, with the
// reason, when there is no thumbnail.
bool DrawThumbnail(const std::wstring& name, int width, int height, TPicture& picture);

}  // namespace voxaro
