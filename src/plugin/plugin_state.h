// Module-wide state of the plug-in: the open viewers and the lock that
// guards them and the plug-in folder cache.
#pragma once

#include <memory>
#include <vector>

#include "viewer_form.h"
#include "win_handles.h"

namespace voxaro {

TCriticalSection& ViewerLock();
std::vector<std::unique_ptr<TViewerForm>>& ViewerList();
// First viewer whose root window is wnd, or null.
TViewerForm* FindViewer(HWND wnd);

}  // namespace voxaro
