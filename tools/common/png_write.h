// PNG encoder (8-bit RGB) for screenshots and renders: libpng on Linux, a
// small stored-block writer in the Windows demo host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voxaro {

// PNG file bytes of a width x height RGB image, rows top first; empty when
// the encoder fails.
std::vector<uint8_t> EncodePng(const uint8_t* rgb, int width, int height);
// Writes the PNG to path; false when the file cannot be written.
bool WritePng(const std::string& path, const uint8_t* rgb, int width, int height);

}  // namespace voxaro
