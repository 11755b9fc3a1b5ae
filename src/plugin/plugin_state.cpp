#include "plugin_state.h"

#include "file_io.h"
#include "module.h"
#include "text_convert.h"

#include <new>

namespace voxaro {

namespace {

HINSTANCE Instance = nullptr;
// A plain pointer: no destructor of the runtime's runs for it at detach.
TModuleState* State = nullptr;

// Path of this module, growing the buffer while the name may be cut.
std::wstring ModuleFileName()
{
    for (DWORD size = 260; size <= 16640; size *= 2) {
        std::wstring buffer(size, L'\0');
        DWORD n = GetModuleFileNameW(Instance, buffer.data(), size);
        if (n == 0) return {};
        if (n < size - 1) return buffer.substr(0, n);
    }
    return {};
}

}  // namespace

bool CreateModuleState()
{
    State = new (std::nothrow) TModuleState;
    return State != nullptr;
}

void FreeModuleState()
{
    delete State;
    State = nullptr;
}

TModuleState& ModuleState()
{
    return *State;
}

TCriticalSection& ViewerLock()
{
    return State->ViewerLock;
}

std::vector<std::unique_ptr<TViewerForm>>& ViewerList()
{
    return State->ViewerList;
}

TViewerForm* FindViewer(HWND wnd)
{
    for (const auto& form : ViewerList())
        if (wnd && form->RootWnd.Get() == wnd) return form.get();
    return nullptr;
}

HINSTANCE PluginInstance()
{
    return Instance;
}

void SetPluginInstance(HINSTANCE instance)
{
    Instance = instance;
}

std::string GetPluginDir()
{
    TLockGuard lock(ViewerLock());
    std::string& cache = State->PluginDirCache;
    if (!cache.empty()) return cache;
    std::wstring path = ModuleFileName();
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    std::string dir = WideToUtf8(path.substr(0, slash + 1));
    cache = dir;
    return dir;
}

}  // namespace voxaro
