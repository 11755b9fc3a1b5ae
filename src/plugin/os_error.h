// Operating-system errors raised by window creation; the exports catch them.
#pragma once

#include <windows.h>

#include <exception>

namespace voxaro {

class TOSError : public std::exception {
public:
    explicit TOSError(DWORD code) : Code(code) {}
    const char* what() const noexcept override { return "System error"; }
    DWORD Code;
};

[[noreturn]] inline void RaiseLastOSError()
{
    throw TOSError(GetLastError());
}

}  // namespace voxaro
