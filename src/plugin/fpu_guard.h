// The host may run with floating-point exceptions unmasked (Delphi programs
// usually do). Our readers and the GL driver compute with NaN, infinities and
// overflowing values from untrusted files, which must never raise in the
// host. Every entry from the host masks all exceptions for its duration and
// leaves no pending exception behind.
#pragma once

#include <float.h>

namespace voxaro {

class TFloatingPointGuard {
public:
    TFloatingPointGuard() : Saved_(_controlfp(0, 0)) { _controlfp(_MCW_EM, _MCW_EM); }
    ~TFloatingPointGuard()
    {
        _clearfp();
        _controlfp(Saved_, _MCW_EM);
    }
    TFloatingPointGuard(const TFloatingPointGuard&) = delete;
    TFloatingPointGuard& operator=(const TFloatingPointGuard&) = delete;

private:
    unsigned int Saved_;
};

}  // namespace voxaro
