// Text conversions between the host's encodings: UTF-16 file names, 8-bit
// status texts in the system ANSI code page, UTF-8 reader messages.
#pragma once

#include <string>

namespace voxaro {

std::string WideToAnsi(const std::wstring& text);  // unmappable characters become '?'
std::wstring AnsiToWide(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);

}  // namespace voxaro
