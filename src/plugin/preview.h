// Thumbnails for the host's thumbnail view.
#pragma once

#include <windows.h>

namespace voxaro {

// Bitmap for a file named in the ANSI code page, or null.
HBITMAP RenderPreview(const char* ansiFileName, int width, int height);

}  // namespace voxaro
