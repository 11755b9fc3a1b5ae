// Pixel helpers shared by the render tests: colours as 0xRRGGBB, closeness,
// counting and bounding boxes over an off-screen picture.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "osmesa_gl.h"

namespace voxaro::test {

// 0xRRGGBB of a GL colour, each channel clamped to [0, 1] and rounded.
inline uint32_t Rgb(double r, double g, double b)
{
    auto c = [](double v) { return static_cast<uint32_t>(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0)); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}

inline int Channel(uint32_t c, int shift)
{
    return static_cast<int>((c >> shift) & 0xFF);
}
inline int Red(uint32_t c)
{
    return Channel(c, 16);
}
inline int Green(uint32_t c)
{
    return Channel(c, 8);
}
inline int Blue(uint32_t c)
{
    return Channel(c, 0);
}

// Every channel within tol.
inline bool Near(uint32_t a, uint32_t b, int tol = 2)
{
    for (int s = 0; s <= 16; s += 8)
        if (std::abs(Channel(a, s) - Channel(b, s)) > tol) return false;
    return true;
}

// Printed toolpath colours, lit or not, are clearly more red than blue; the
// backgrounds, grids and greys are not.
inline bool IsWarm(uint32_t c)
{
    return Red(c) - Blue(c) > 38;
}

using TPixelTest = std::function<bool(uint32_t)>;

inline TPixelTest Is(uint32_t color, int tol = 2)
{
    return [color, tol](uint32_t c) { return Near(c, color, tol); };
}

// Pixels matching test in the rectangle [x0, x1] x [y0, y1] (top-left origin).
inline size_t CountIn(const TOffscreenGL& gl, const TPixelTest& test, int x0, int y0, int x1, int y1)
{
    size_t n = 0;
    for (int y = std::max(y0, 0); y <= std::min(y1, gl.Height() - 1); ++y)
        for (int x = std::max(x0, 0); x <= std::min(x1, gl.Width() - 1); ++x)
            n += test(gl.PixelAt(x, y)) ? 1 : 0;
    return n;
}

inline size_t CountAll(const TOffscreenGL& gl, const TPixelTest& test)
{
    return CountIn(gl, test, 0, 0, gl.Width() - 1, gl.Height() - 1);
}

inline size_t CountNear(const TOffscreenGL& gl, uint32_t color, int tol = 2)
{
    return CountAll(gl, Is(color, tol));
}

// Smallest rectangle holding every pixel that matches.
struct TBounds {
    int MinX = 1 << 30, MinY = 1 << 30, MaxX = -1, MaxY = -1;
    bool Empty() const { return MaxX < 0; }
};

inline TBounds BoundsOf(const TOffscreenGL& gl, const TPixelTest& test)
{
    TBounds b;
    for (int y = 0; y < gl.Height(); ++y)
        for (int x = 0; x < gl.Width(); ++x)
            if (test(gl.PixelAt(x, y))) {
                b.MinX = std::min(b.MinX, x), b.MaxX = std::max(b.MaxX, x);
                b.MinY = std::min(b.MinY, y), b.MaxY = std::max(b.MaxY, y);
            }
    return b;
}

}  // namespace voxaro::test
