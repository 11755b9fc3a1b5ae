// The nine functions the host calls. No exception ever leaves one of them.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "fpu_guard.h"
#include "module.h"
#include "plugin_state.h"
#include "preview.h"
#include "text_convert.h"

#define VOXARO_EXPORT extern "C" __declspec(dllexport)

namespace voxaro {

void SetPluginInstance(HINSTANCE instance);

namespace {

const char kDetectString[] =
    "EXT=\"3MF\" | EXT=\"STL\" | EXT=\"STP\" | EXT=\"STEP\" | EXT=\"GCODE\" | EXT=\"GCO\" | EXT=\"NC\" | EXT=\"NGC\"";

constexpr int kListPluginOk = 0, kListPluginError = 1;
constexpr int kCommandNewParams = 2;

HWND DoListLoad(HWND parent, const std::wstring& fileName, int showFlags)
{
    if (fileName.empty()) return nullptr;
    TLockGuard lock(ViewerLock());
    try {
        auto form = std::make_unique<TViewerForm>(parent);
        form->LoadFile(fileName, GetPluginDir(), showFlags);
        HWND root = form->RootWnd.Get();
        ViewerList().push_back(std::move(form));
        return root;
    } catch (...) {
        return nullptr;  // the half-made viewer is freed on the way out
    }
}

int DoListLoadNext(HWND listWin, const std::wstring& fileName, int showFlags)
{
    TLockGuard lock(ViewerLock());
    TViewerForm* form = FindViewer(listWin);
    if (!form) return kListPluginError;
    try {
        form->LoadFile(fileName, GetPluginDir(), showFlags);
        return kListPluginOk;
    } catch (...) {
        return kListPluginError;
    }
}

std::wstring FromAnsi(const char* text)
{
    return text ? AnsiToWide(text) : std::wstring();
}

// Library unload: the windows belong to the host by now, so they are only forgotten.
void FreeAllViewers()
{
    TLockGuard lock(ViewerLock());
    auto& list = ViewerList();
    while (!list.empty()) {
        std::unique_ptr<TViewerForm> form = std::move(list.front());
        list.erase(list.begin());
        try {
            TViewerForm::DetachAndFree(std::move(form));
        } catch (...) {
        }
    }
    UnregisterViewerClasses();
}

}  // namespace

}  // namespace voxaro

using namespace voxaro;

VOXARO_EXPORT HWND __stdcall ListLoad(HWND ParentWin, char* FileToLoad, int ShowFlags)
{
    TFloatingPointGuard fpu;
    try {
        return DoListLoad(ParentWin, FromAnsi(FileToLoad), ShowFlags);
    } catch (...) {
        return nullptr;
    }
}

VOXARO_EXPORT HWND __stdcall ListLoadW(HWND ParentWin, WCHAR* FileToLoad, int ShowFlags)
{
    TFloatingPointGuard fpu;
    try {
        return DoListLoad(ParentWin, FileToLoad ? std::wstring(FileToLoad) : std::wstring(), ShowFlags);
    } catch (...) {
        return nullptr;
    }
}

VOXARO_EXPORT int __stdcall ListLoadNextW(HWND /*ParentWin*/, HWND ListWin, WCHAR* FileToLoad, int ShowFlags)
{
    TFloatingPointGuard fpu;
    try {
        return DoListLoadNext(ListWin, FileToLoad ? std::wstring(FileToLoad) : std::wstring(), ShowFlags);
    } catch (...) {
        return kListPluginError;
    }
}

VOXARO_EXPORT int __stdcall ListLoadNext(HWND /*ParentWin*/, HWND ListWin, char* FileToLoad, int ShowFlags)
{
    TFloatingPointGuard fpu;
    try {
        return DoListLoadNext(ListWin, FromAnsi(FileToLoad), ShowFlags);
    } catch (...) {
        return kListPluginError;
    }
}

VOXARO_EXPORT void __stdcall ListCloseWindow(HWND ListWin)
{
    TFloatingPointGuard fpu;
    try {
        TLockGuard lock(ViewerLock());
        TViewerForm* form = FindViewer(ListWin);
        if (!form) return;
        auto& list = ViewerList();
        auto owner = std::find_if(list.begin(), list.end(), [form](const auto& v) { return v.get() == form; });
        std::unique_ptr<TViewerForm> closing = std::move(*owner);
        list.erase(owner);
        closing.reset();  // destroys the windows and the GL context
    } catch (...) {
    }
}

VOXARO_EXPORT void __stdcall ListGetDetectString(char* DetectString, int maxlen)
{
    TFloatingPointGuard fpu;
    if (!DetectString || maxlen <= 0) return;
    size_t n = std::min(sizeof kDetectString - 1, static_cast<size_t>(maxlen) - 1);
    std::memcpy(DetectString, kDetectString, n);
    DetectString[n] = '\0';
}

VOXARO_EXPORT void __stdcall ListSetDefaultParams(void* /*dps*/)
{
    TFloatingPointGuard fpu;
    try {
        GetPluginDir();
    } catch (...) {
    }
}

VOXARO_EXPORT int __stdcall ListSendCommand(HWND ListWin, int Command, int /*Parameter*/)
{
    TFloatingPointGuard fpu;
    try {
        TLockGuard lock(ViewerLock());
        if (!FindViewer(ListWin)) return kListPluginError;
        return Command == kCommandNewParams ? kListPluginOk : kListPluginError;
    } catch (...) {
        return kListPluginError;
    }
}

VOXARO_EXPORT HBITMAP __stdcall ListGetPreviewBitmap(char* FileToLoad, int width, int height, char* /*contentbuf*/,
                                                     int /*contentbuflen*/)
{
    TFloatingPointGuard fpu;
    try {
        return RenderPreview(FileToLoad, width, height);
    } catch (...) {
        return nullptr;
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        SetPluginInstance(instance);
        DisableThreadLibraryCalls(instance);
        return CreateModuleState() ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // FreeLibrary: free what the viewers hold, then the module's state.
        // At process exit (reserved set) nothing is touched at all.
        FreeAllViewers();
        FreeModuleState();
    }
    return TRUE;
}
