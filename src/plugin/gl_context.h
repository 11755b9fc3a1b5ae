// WGL contexts with multisampling where the driver has it. A throw-away window
// probes wglChoosePixelFormatARB, since a window takes a pixel format once.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "wgl.h"

namespace voxaro {

// The classic descriptor used for every request: RGBA, 32 colour bits,
// 24 depth bits, double-buffered, drawing to a window.
PIXELFORMATDESCRIPTOR ClassicPixelFormat();

// A multisampled format found by the probe.
struct TMultisampleFormat {
    int Format = 0;  // 0 when none
    int Samples = 0;
};

// Creates a 1 x 1 pop-up of probeClass, gives it a legacy context and asks
// wglChoosePixelFormatARB for each sample count in order, on queryDC (or on
// the probe window's own DC when queryDC is null). Cleans up everything.
TMultisampleFormat ProbeMultisampleFormat(const TWGL& wgl, const wchar_t* probeClass, DWORD probeStyle, HDC queryDC,
                                          std::initializer_list<int> sampleCounts);

// Owns an HGLRC; deleting it first makes no context current when it is current.
class TGLContext {
public:
    TGLContext() = default;
    ~TGLContext() { Reset(); }
    TGLContext(const TGLContext&) = delete;
    TGLContext& operator=(const TGLContext&) = delete;
    HGLRC Get() const { return RC_; }
    explicit operator bool() const { return RC_ != nullptr; }
    // Creates a context on dc and makes it current; false when either fails.
    bool CreateCurrent(const TWGL& wgl, HDC dc);
    void Reset();

private:
    const TWGL* WGL_ = nullptr;
    HGLRC RC_ = nullptr;
};

// Remembers the calling thread's current context and restores it.
class TCurrentContextGuard {
public:
    explicit TCurrentContextGuard(const TWGL& wgl) : WGL_(wgl), DC_(wgl.GetCurrentDC()), RC_(wgl.GetCurrentContext()) {}
    ~TCurrentContextGuard()
    {
        if (RC_)
            WGL_.MakeCurrent(DC_, RC_);
        else
            WGL_.MakeCurrent(nullptr, nullptr);
    }
    TCurrentContextGuard(const TCurrentContextGuard&) = delete;
    TCurrentContextGuard& operator=(const TCurrentContextGuard&) = delete;

private:
    const TWGL& WGL_;
    HDC DC_;
    HGLRC RC_;
};

}  // namespace voxaro
