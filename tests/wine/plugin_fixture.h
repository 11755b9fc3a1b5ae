// Drives the real plug-in DLL the way the host does: loads it, gives it a
// Lister window, and reads back windows, texts and pixels.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace voxaro::wine {

using ListLoad_t = HWND(__stdcall*)(HWND, char*, int);
using ListLoadW_t = HWND(__stdcall*)(HWND, WCHAR*, int);
using ListLoadNext_t = int(__stdcall*)(HWND, HWND, char*, int);
using ListLoadNextW_t = int(__stdcall*)(HWND, HWND, WCHAR*, int);
using ListCloseWindow_t = void(__stdcall*)(HWND);
using ListGetDetectString_t = void(__stdcall*)(char*, int);
using ListSetDefaultParams_t = void(__stdcall*)(void*);
using ListSendCommand_t = int(__stdcall*)(HWND, int, int);
using ListGetPreviewBitmap_t = HBITMAP(__stdcall*)(char*, int, int, char*, int);

struct TPluginApi {
    HMODULE Module = nullptr;
    ListLoad_t ListLoad = nullptr;
    ListLoadW_t ListLoadW = nullptr;
    ListLoadNext_t ListLoadNext = nullptr;
    ListLoadNextW_t ListLoadNextW = nullptr;
    ListCloseWindow_t ListCloseWindow = nullptr;
    ListGetDetectString_t ListGetDetectString = nullptr;
    ListSetDefaultParams_t ListSetDefaultParams = nullptr;
    ListSendCommand_t ListSendCommand = nullptr;
    ListGetPreviewBitmap_t ListGetPreviewBitmap = nullptr;

    // Loads the DLL named by VOXARO_PLUGIN (a Windows path); false on failure.
    bool Load();
    void Unload();
};

// The plug-in loaded once for the whole test program.
TPluginApi& Plugin();
// Path of the DLL under test.
std::wstring PluginPath();

// A top-level window standing in for the host's Lister window. It sizes its
// first child to its client area and records the key-down messages it gets.
class TListerWindow {
public:
    explicit TListerWindow(int width = 640, int height = 480);
    ~TListerWindow();
    TListerWindow(const TListerWindow&) = delete;
    TListerWindow& operator=(const TListerWindow&) = delete;
    HWND Handle() const { return Wnd_; }
    // Resizes the window's client area (and with it the plug-in's root window).
    void SetClientSize(int width, int height);
    struct TKey {
        WPARAM Code;
        LPARAM Data;
    };
    std::vector<TKey> Keys;

private:
    HWND Wnd_ = nullptr;
};

// Processes pending messages for about the given time.
void Pump(DWORD milliseconds = 200);

// Windows path of a file in tests/data (VOXARO_TEST_DATA).
std::wstring DataPath(const std::wstring& name);
// Writes bytes to a fresh file in the temporary folder; returns its path.
std::wstring WriteTempFile(const std::wstring& name, const std::string& bytes);

// Text of part 0 of the viewer's status bar.
std::wstring StatusText(HWND root);
HWND ChildOfClass(HWND parent, const wchar_t* className);
HWND GLWindow(HWND root);
HWND StatusWindow(HWND root);

// Client-area pixels of a window as 0xRRGGBB, top row first. GL windows are
// asked for their frame with WM_PRINTCLIENT; others are read from their DC.
struct TImage {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
    // How many pixels are within tolerance of colour (per channel).
    size_t Count(uint32_t color, int tolerance = 0) const;
};
TImage CaptureWindow(HWND wnd);
TImage CaptureGL(HWND glWnd);

bool Near(uint32_t a, uint32_t b, int tolerance);

}  // namespace voxaro::wine
