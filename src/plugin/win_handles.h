// Owners for the Win32, GDI and GL handles of the plug-in, so that every
// early return and every exception cleans up by itself.
#pragma once

#include <windows.h>

#include <utility>

namespace voxaro {

// One owner template, one line per handle type.
template <typename Handle, typename Closer> class TUnique {
public:
    TUnique() = default;
    explicit TUnique(Handle h) : H_(h) {}
    ~TUnique() { Reset(); }
    TUnique(const TUnique&) = delete;
    TUnique& operator=(const TUnique&) = delete;
    TUnique(TUnique&& o) noexcept : H_(o.Forget()) {}
    TUnique& operator=(TUnique&& o) noexcept
    {
        if (this != &o) Reset(o.Forget());
        return *this;
    }

    Handle Get() const { return H_; }
    operator Handle() const { return H_; }
    explicit operator bool() const { return H_ != Handle(); }
    // Closes the current handle (if any) and takes h.
    void Reset(Handle h = Handle())
    {
        if (H_ != Handle()) Closer()(H_);
        H_ = h;
    }
    // Gives the handle up without closing it.
    Handle Forget() { return std::exchange(H_, Handle()); }

private:
    Handle H_ = Handle();
};

struct TDestroyWindow {
    void operator()(HWND h) const { DestroyWindow(h); }
};
struct TDeleteObject {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct TDeleteDC {
    void operator()(HDC h) const { DeleteDC(h); }
};

using TUniqueHwnd = TUnique<HWND, TDestroyWindow>;
using TUniqueFont = TUnique<HFONT, TDeleteObject>;
using TUniquePen = TUnique<HPEN, TDeleteObject>;
using TUniqueBrush = TUnique<HBRUSH, TDeleteObject>;
using TUniqueBitmap = TUnique<HBITMAP, TDeleteObject>;
using TUniqueMemDC = TUnique<HDC, TDeleteDC>;

// A window's device context; remembers the window for ReleaseDC.
class TWindowDC {
public:
    TWindowDC() = default;
    explicit TWindowDC(HWND wnd) : Wnd_(wnd), DC_(wnd ? GetDC(wnd) : nullptr) {}
    ~TWindowDC() { Reset(); }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    TWindowDC& operator=(TWindowDC&& o) noexcept
    {
        Reset();
        Wnd_ = o.Wnd_;
        DC_ = o.DC_;
        o.Wnd_ = nullptr;
        o.DC_ = nullptr;
        return *this;
    }

    HDC Get() const { return DC_; }
    operator HDC() const { return DC_; }
    void Reset()
    {
        if (DC_ && Wnd_) ReleaseDC(Wnd_, DC_);
        DC_ = nullptr;
        Wnd_ = nullptr;
    }
    // Forgets the DC without releasing it.
    void Forget()
    {
        DC_ = nullptr;
        Wnd_ = nullptr;
    }

private:
    HWND Wnd_ = nullptr;
    HDC DC_ = nullptr;
};

// Selects a GDI object into a DC and puts the previous one back.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ obj) : DC_(dc), Old_(SelectObject(dc, obj)) {}
    ~TSelectObject()
    {
        if (Old_) SelectObject(DC_, Old_);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC DC_;
    HGDIOBJ Old_;
};

// BeginPaint / EndPaint.
class TPaint {
public:
    explicit TPaint(HWND wnd) : Wnd_(wnd) { DC_ = BeginPaint(wnd, &Ps_); }
    ~TPaint() { EndPaint(Wnd_, &Ps_); }
    TPaint(const TPaint&) = delete;
    TPaint& operator=(const TPaint&) = delete;
    HDC DC() const { return DC_; }

private:
    HWND Wnd_;
    PAINTSTRUCT Ps_{};
    HDC DC_ = nullptr;
};

// A re-entrant lock and its guard.
class TCriticalSection {
public:
    TCriticalSection() { InitializeCriticalSection(&Cs_); }
    ~TCriticalSection() { DeleteCriticalSection(&Cs_); }
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&Cs_); }
    void Leave() { LeaveCriticalSection(&Cs_); }

private:
    CRITICAL_SECTION Cs_;
};

class TLockGuard {
public:
    explicit TLockGuard(TCriticalSection& cs) : Cs_(cs) { Cs_.Enter(); }
    ~TLockGuard() { Cs_.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TCriticalSection& Cs_;
};

}  // namespace voxaro
