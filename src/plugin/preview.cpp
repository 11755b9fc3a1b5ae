// Thumbnails: until the off-screen renderers land, no file gets a thumbnail
// and the host falls back to its own icon.
#include "preview.h"

namespace voxaro {

HBITMAP RenderPreview(const char* /*ansiFileName*/, int /*width*/, int /*height*/)
{
    return nullptr;
}

}  // namespace voxaro
