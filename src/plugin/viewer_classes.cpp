// Window classes of the viewer and the thin procedures that route each
// message to the viewer stored in the window's user data.
#include "fpu_guard.h"
#include "module.h"
#include "os_error.h"
#include "plugin_state.h"
#include "viewer_form.h"

namespace voxaro {

const wchar_t kRootClass[] = L"VoxaroRoot";
const wchar_t kGLClass[] = L"VoxaroGL";
const wchar_t kPanelClass[] = L"VoxaroPanel";

namespace {

bool ClassesRegistered = false;

TViewerForm* FormOf(HWND wnd)
{
    return reinterpret_cast<TViewerForm*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
}

LRESULT CALLBACK RootProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    TViewerForm* form = FormOf(wnd);
    if (!form) return DefWindowProcW(wnd, msg, wp, lp);
    TFloatingPointGuard fpu;
    try {
        return form->RootMessage(msg, wp, lp);
    } catch (...) {
        return 0;  // nothing may unwind through the system's frames
    }
}

LRESULT CALLBACK GLProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    TViewerForm* form = FormOf(wnd);
    if (!form) return DefWindowProcW(wnd, msg, wp, lp);
    TFloatingPointGuard fpu;
    try {
        return form->GLMessage(msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

LRESULT CALLBACK PanelProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    TViewerForm* form = FormOf(wnd);
    if (!form) return DefWindowProcW(wnd, msg, wp, lp);
    TFloatingPointGuard fpu;
    try {
        return form->GCodePanelProc(msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

// True when the class was registered; false when a class of that name is
// there already (left from an earlier load of the library). Raises on any
// other failure.
bool Register(const wchar_t* name, UINT style, HBRUSH background, WNDPROC proc)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = 8;
    wc.hInstance = PluginInstance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (RegisterClassExW(&wc)) return true;
    if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastOSError();
    return false;
}

}  // namespace

void RegisterViewerClasses()
{
    TLockGuard lock(ModuleState().ClassLock);
    if (ClassesRegistered) return;
    Register(kRootClass, CS_HREDRAW | CS_VREDRAW, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), RootProc);
    Register(kGLClass, CS_HREDRAW | CS_VREDRAW | CS_OWNDC | CS_DBLCLKS, nullptr, GLProc);
    // The brush belongs to the class, which the system deletes with it; a
    // class left from an earlier load has its own, so this one goes at once.
    TUniqueBrush brush(CreateSolidBrush(RGB(90, 64, 64)));
    if (Register(kPanelClass, CS_HREDRAW | CS_VREDRAW, brush, PanelProc)) brush.Forget();
    ClassesRegistered = true;
}

void UnregisterViewerClasses()
{
    TLockGuard lock(ModuleState().ClassLock);
    if (!ClassesRegistered) return;
    // Classes of a DLL outlive it; a later load at another address would find
    // them pointing into the old image. Fails harmlessly while windows remain.
    // The system deletes the panel class's brush with the class.
    for (const wchar_t* name : {kRootClass, kGLClass, kPanelClass})
        UnregisterClassW(name, PluginInstance());
    ClassesRegistered = false;
}

}  // namespace voxaro
