// Minimal PNG encoder (8-bit RGB, stored deflate blocks) for screenshots and
// renders; no compression library needed on either platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voxaro {

// PNG file bytes of a width x height RGB image, rows top first.
std::vector<uint8_t> EncodePng(const uint8_t* rgb, int width, int height);
// Writes the PNG to path; false when the file cannot be written.
bool WritePng(const std::string& path, const uint8_t* rgb, int width, int height);

}  // namespace voxaro
