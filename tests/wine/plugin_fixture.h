// Drives the real plug-in DLL the way the host does: loads it, gives it a
// Lister window, and reads back windows, texts and pixels.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "lister_api.h"

namespace voxaro::wine {

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
    // Loads the DLL at path.
    bool Load(const std::wstring& path);
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
    // Resizes the window's client area (and with it the plug-in's root
    // window). The window is deactivated first, so the focus is lost.
    void SetClientSize(int width, int height);
    // Sizes the first child to the client area, as the host does after a load.
    // Both resizing calls pump messages for a moment: Wine resizes the GL
    // drawable of a child window only then.
    void FitChild();
    // Client size of the window.
    SIZE ClientSize() const;
    struct TKey {
        WPARAM Code;
        LPARAM Data;
    };
    std::vector<TKey> Keys;

private:
    HWND Wnd_ = nullptr;
};

// One viewer opened with ListLoadW in a Lister window and closed with
// ListCloseWindow when it goes out of scope.
class TViewer {
public:
    // Opens file; with fit, the root is then sized to the Lister's client
    // area like the host does.
    TViewer(TListerWindow& lister, const std::wstring& file, int showFlags = 0, bool fit = true);
    ~TViewer();
    TViewer(const TViewer&) = delete;
    TViewer& operator=(const TViewer&) = delete;
    HWND Root() const { return Root_; }
    HWND GL() const;
    std::wstring Status() const;
    // ListLoadNextW on this viewer; returns its result.
    int Reload(const std::wstring& file, int showFlags = 0);
    // Sends a key-down message to the GL window.
    void Key(WPARAM vk, LPARAM data = 1) const;
    void Close();

private:
    TListerWindow& Lister_;
    HWND Root_ = nullptr;
};

// Processes pending messages for about the given time.
void Pump(DWORD milliseconds = 200);

// Windows path of a file in tests/data (VOXARO_TEST_DATA).
std::wstring DataPath(const std::wstring& name);
// The sample files in tests/data: a binary STL, an ASCII STL and a G-code file.
const std::wstring& Gear();
const std::wstring& Overhang();
const std::wstring& Slice();
// Writes bytes to a fresh file in the temporary folder; returns its path.
std::wstring WriteTempFile(const std::wstring& name, const std::string& bytes);
// Path in the temporary test folder of a file that does not exist.
std::wstring MissingTempFile(const std::wstring& name);
// Whole contents of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::wstring& path);
// The file name without its folder.
std::wstring FileNameOnly(const std::wstring& path);
// Text in the system ANSI code page, with its terminator (for char* arguments).
std::string Ansi(const std::wstring& text);
// Text converted to the system ANSI code page and back, as the plug-in's
// 8-bit status texts hold it.
std::wstring AnsiRoundTrip(const std::wstring& text);
bool StartsWith(const std::wstring& text, const std::wstring& prefix);

// Multisample count a viewer obtains here: the first of 8, 4, 2 that the
// driver's WGL_ARB_pixel_format query grants for the viewer's attributes,
// 0 when none; probed once with a window of the test program.
int ExpectedSamples();
// "  |  MSAA nx" with ExpectedSamples(), or "  |  AA off".
std::wstring MeshAaSuffix();
// "  |  MSAA nx" with ExpectedSamples(), or "".
std::wstring GCodeAaSuffix();
// The key help that ends every mesh status line.
extern const wchar_t kKeyHelp[];
// Height the viewer asks for its status bar.
constexpr int kStatusHeight = 22;

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
    // The same in the rectangle [x0, x1) x [y0, y1).
    size_t CountIn(uint32_t color, int tolerance, int x0, int y0, int x1, int y1) const;
    bool Empty() const { return Pixels.empty(); }
    bool operator==(const TImage& o) const { return Width == o.Width && Height == o.Height && Pixels == o.Pixels; }
    bool operator!=(const TImage& o) const { return !(*this == o); }
};
// Number of pixels that differ (all when the sizes differ).
size_t DiffCount(const TImage& a, const TImage& b);
TImage CaptureWindow(HWND wnd);
// The client area as PrintWindow draws it (no screen involved).
TImage PrintedWindow(HWND wnd);
TImage CaptureGL(HWND glWnd);
// A w x h image of what paint draws into a memory DC holding a 32-bit DIB section.
TImage PaintImage(int w, int h, const std::function<void(HDC)>& paint);

bool Near(uint32_t a, uint32_t b, int tolerance);
constexpr uint32_t Rgb(int r, int g, int b)
{
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}
// Clear colours of the mesh view, (0.80, 0.82, 0.87) and (0.11, 0.11, 0.14), as 8-bit values.
constexpr uint32_t kLightBackground = Rgb(204, 209, 222);
constexpr uint32_t kDarkBackground = Rgb(28, 28, 36);
// Expects the colour (within 1 per channel) in all four corners of a frame.
void ExpectCorners(const TImage& frame, uint32_t colour);

// Rectangle of a child window in its parent's client coordinates.
RECT RectInParent(HWND wnd);
std::wstring ClassOf(HWND wnd);

// Records the root window's pixels right after its first WM_PAINT that is
// handled while the recorder is alive (the page painted during a load).
class TRootPaintRecorder {
public:
    TRootPaintRecorder();
    ~TRootPaintRecorder();
    TRootPaintRecorder(const TRootPaintRecorder&) = delete;
    TRootPaintRecorder& operator=(const TRootPaintRecorder&) = delete;
    bool Seen() const;
    const TImage& Image() const;
    // The same page as PrintWindow gets it, asked for at the same moment.
    const TImage& Printed() const;
};

// Records the placements (WM_WINDOWPOSCHANGING with a size and a position)
// that one window is given while the recorder is alive.
class TPlacementRecorder {
public:
    explicit TPlacementRecorder(HWND target);
    ~TPlacementRecorder();
    TPlacementRecorder(const TPlacementRecorder&) = delete;
    TPlacementRecorder& operator=(const TPlacementRecorder&) = delete;
    // Whether the window was asked for exactly this rectangle (parent client
    // coordinates, width and height).
    bool Saw(int x, int y, int width, int height) const;
    std::string Describe() const;
};

}  // namespace voxaro::wine
