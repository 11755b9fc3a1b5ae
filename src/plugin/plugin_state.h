// Module-wide state of the plug-in: the open viewers, the lock that guards
// them and the plug-in folder cache, and the locks of the one-time window
// class registrations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "viewer_form.h"
#include "win_handles.h"

namespace voxaro {

struct TModuleState {
    TCriticalSection ViewerLock;
    std::vector<std::unique_ptr<TViewerForm>> ViewerList;
    std::string PluginDirCache;
    TCriticalSection ClassLock;  // the viewer's window classes
    TCriticalSection ThumbLock;  // the thumbnail's window class
};

// Made when the library is loaded (false when memory is short) and freed
// when FreeLibrary unloads it, after the viewers. At process exit it is left
// alone: inside the loader lock nothing may be destroyed or released then,
// and the system reclaims windows, contexts and memory with the process.
bool CreateModuleState();
void FreeModuleState();
TModuleState& ModuleState();

TCriticalSection& ViewerLock();
std::vector<std::unique_ptr<TViewerForm>>& ViewerList();
// First viewer whose root window is wnd, or null.
TViewerForm* FindViewer(HWND wnd);

}  // namespace voxaro
