// The toolpath drawing as it was before vertex arrays and display lists,
// kept as the reference for the pixels of the new path.
#pragma once

#include "gcode_renderer.h"
#include "thumbnail_renderer.h"

namespace voxaro {
namespace reference {

bool DrawImmediateFrame(const TGLApi& gl, const TGCodeFrame& frame);
bool DrawImmediateThumbnail(const TGLApi& gl, const TGCodeParser& parser, bool colorByLayer, int width, int height);

}  // namespace reference
}  // namespace voxaro
