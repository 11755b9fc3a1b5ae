// Reads back the PNG files the voxaro command writes (8-bit RGB, no
// interlace; rows with filter type 0, which is all our writer uses).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

namespace voxaro::test {

struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;  // rows top first
};

inline uint32_t BigEndian32(const std::string& s, size_t at)
{
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint8_t(s[at + 3]);
}

// False for anything but a whole PNG of that kind.
inline bool DecodePng(const std::string& file, TRgbImage& image)
{
    if (file.size() < 8 || file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
    std::string idat;
    bool ended = false;
    for (size_t at = 8; at + 12 <= file.size() && !ended;) {
        const uint32_t length = BigEndian32(file, at);
        if (at + 12 + length > file.size()) return false;
        const std::string type = file.substr(at + 4, 4);
        if (type == "IHDR") {
            image.Width = static_cast<int>(BigEndian32(file, at + 8));
            image.Height = static_cast<int>(BigEndian32(file, at + 12));
            if (file.compare(at + 16, 5, std::string("\x08\x02\x00\x00\x00", 5)) != 0) return false;
        }
        if (type == "IDAT") idat += file.substr(at + 8, length);
        ended = type == "IEND";
        at += 12 + length;
    }
    const size_t row = static_cast<size_t>(image.Width) * 3;
    std::vector<uint8_t> raw((row + 1) * static_cast<size_t>(image.Height));
    uLongf size = raw.size();
    if (!ended || image.Width <= 0 || image.Height <= 0 ||
        uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
        size != raw.size())
        return false;
    image.Rgb.clear();
    for (int y = 0; y < image.Height; ++y) {
        const uint8_t* line = &raw[(row + 1) * static_cast<size_t>(y)];
        if (line[0] != 0) return false;
        image.Rgb.insert(image.Rgb.end(), line + 1, line + 1 + row);
    }
    return true;
}

}  // namespace voxaro::test
