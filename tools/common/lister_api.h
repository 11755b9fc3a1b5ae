// The host's side of the Lister plug-in interface: the nine exports as
// function-pointer types, for the programs that load the plug-in like the
// host does (the demo host and the Wine tests).
#pragma once

#include <windows.h>

namespace voxaro {

using ListLoad_t = HWND(__stdcall*)(HWND, char*, int);
using ListLoadW_t = HWND(__stdcall*)(HWND, WCHAR*, int);
using ListLoadNext_t = int(__stdcall*)(HWND, HWND, char*, int);
using ListLoadNextW_t = int(__stdcall*)(HWND, HWND, WCHAR*, int);
using ListCloseWindow_t = void(__stdcall*)(HWND);
using ListGetDetectString_t = void(__stdcall*)(char*, int);
using ListSetDefaultParams_t = void(__stdcall*)(void*);
using ListSendCommand_t = int(__stdcall*)(HWND, int, int);
using ListGetPreviewBitmap_t = HBITMAP(__stdcall*)(char*, int, int, char*, int);

// Resolves an export of a loaded module into a typed function pointer.
template <typename Fn> void ResolveExport(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace voxaro
