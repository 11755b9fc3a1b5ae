// The plug-in module itself: its instance handle and folder.
#pragma once

#include <windows.h>

#include <string>

namespace voxaro {

// Instance handle of this DLL (set when the library is loaded).
HINSTANCE PluginInstance();
// The plug-in's folder as UTF-8 with a trailing backslash; computed once and
// cached under the viewer lock. Empty when the system cannot tell.
std::string GetPluginDir();

}  // namespace voxaro
