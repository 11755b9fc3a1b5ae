#include "osmesa_gl.h"

#include <GL/osmesa.h>

namespace voxaro {

namespace {
void* LoadOSMesaProc(const char* name, void*)
{
    return reinterpret_cast<void*>(OSMesaGetProcAddress(name));
}
}  // namespace

TOffscreenGL::~TOffscreenGL()
{
    if (Context_) OSMesaDestroyContext(static_cast<OSMesaContext>(Context_));
}

bool TOffscreenGL::Create(int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!ctx) return false;
    Context_ = ctx;
    Width_ = width;
    Height_ = height;
    Buffer_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    if (!OSMesaMakeCurrent(ctx, Buffer_.data(), GL_UNSIGNED_BYTE, width, height)) return false;
    // Rows top first, like a screen.
    OSMesaPixelStore(OSMESA_Y_UP, 0);
    return LoadGLApi(Api_, &LoadOSMesaProc, nullptr);
}

std::vector<uint8_t> TOffscreenGL::ReadRGB() const
{
    Api_.Finish();
    std::vector<uint8_t> rgb(static_cast<size_t>(Width_) * static_cast<size_t>(Height_) * 3);
    for (size_t i = 0, n = static_cast<size_t>(Width_) * static_cast<size_t>(Height_); i < n; ++i) {
        rgb[3 * i] = Buffer_[4 * i];
        rgb[3 * i + 1] = Buffer_[4 * i + 1];
        rgb[3 * i + 2] = Buffer_[4 * i + 2];
    }
    return rgb;
}

uint32_t TOffscreenGL::PixelAt(int x, int y) const
{
    Api_.Finish();
    const uint8_t* p = &Buffer_[(static_cast<size_t>(y) * static_cast<size_t>(Width_) + static_cast<size_t>(x)) * 4];
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

}  // namespace voxaro
