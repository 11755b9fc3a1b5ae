// Off-screen OpenGL through OSMesa, for the native command-line tool and the
// render tests: the same TGLApi table the plug-in fills from opengl32.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gl_api.h"

namespace voxaro {

class TOffscreenGL {
public:
    TOffscreenGL() = default;
    ~TOffscreenGL();
    TOffscreenGL(const TOffscreenGL&) = delete;
    TOffscreenGL& operator=(const TOffscreenGL&) = delete;

    // Creates an RGBA context with a 24-bit depth buffer of width x height
    // pixels, makes it current and loads the GL table.
    bool Create(int width, int height);
    const TGLApi& Api() const { return Api_; }
    int Width() const { return Width_; }
    int Height() const { return Height_; }

    // The drawn picture as RGB bytes, top row first.
    std::vector<uint8_t> ReadRGB() const;
    // Pixel at (x, y) counted from the top left, as 0xRRGGBB.
    uint32_t PixelAt(int x, int y) const;

private:
    void* Context_ = nullptr;
    std::vector<uint8_t> Buffer_;
    TGLApi Api_;
    int Width_ = 0;
    int Height_ = 0;
};

}  // namespace voxaro
