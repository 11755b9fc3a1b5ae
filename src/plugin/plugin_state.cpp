#include "plugin_state.h"

#include "file_io.h"
#include "module.h"
#include "text_convert.h"

namespace voxaro {

namespace {

HINSTANCE Instance = nullptr;
std::string PluginDirCache;

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

TCriticalSection& ViewerLock()
{
    static TCriticalSection lock;
    return lock;
}

std::vector<std::unique_ptr<TViewerForm>>& ViewerList()
{
    static std::vector<std::unique_ptr<TViewerForm>> list;
    return list;
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
    if (!PluginDirCache.empty()) return PluginDirCache;
    std::wstring path = ModuleFileName();
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    std::string dir = WideToUtf8(path.substr(0, slash + 1));
    PluginDirCache = dir;
    return dir;
}

}  // namespace voxaro
