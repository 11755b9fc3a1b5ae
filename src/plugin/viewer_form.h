// One viewer: the window tree the plug-in places inside one Lister window,
// the model or G-code file shown in it, and the view state.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "GCodeParser.h"
#include "camera.h"
#include "gl_context.h"
#include "mesh_data.h"
#include "toolpath_chunks.h"
#include "win_handles.h"

namespace voxaro {

extern const wchar_t kRootClass[];   // "VoxaroRoot"
extern const wchar_t kGLClass[];     // "VoxaroGL"
extern const wchar_t kPanelClass[];  // "VoxaroPanel"

constexpr int kStatusBarHeight = 22;
constexpr int kPanelWidth = 196;
constexpr int kStatusId = 1, kGLId = 2, kPanelId = 10;

// True only when the control exists and shows a check mark.
bool IsChecked(HWND control);

// Registers the three viewer classes once per process; raises TOSError.
void RegisterViewerClasses();
// Library unload: unregisters the classes again where no window uses them.
void UnregisterViewerClasses();

class TViewerForm {
public:
    // Builds the root, status and (hidden) GL windows inside parent; raises TOSError.
    explicit TViewerForm(HWND parent);
    ~TViewerForm();
    TViewerForm(const TViewerForm&) = delete;
    TViewerForm& operator=(const TViewerForm&) = delete;

    // Loads a file; file-level failures are shown, never raised.
    void LoadFile(const std::wstring& fileName, const std::string& pluginDir, int showFlags);
    void LayoutChildren(int width, int height);
    void SetStatus(const std::string& ansiText);
    void PaintSplash(HDC dc, int width, int height);
    void PaintError(HDC dc, int width, int height);
    void PaintPage(HDC dc);
    // Library unload: deletes the GL context, forgets every window (they
    // belong to the host's tree by then) and frees the object.
    static void DetachAndFree(std::unique_ptr<TViewerForm> form);

    // Window procedures' message handling.
    LRESULT RootMessage(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT GLMessage(UINT msg, WPARAM wp, LPARAM lp);

    bool CreateGLContext();
    void ReleaseGL();
    void ReleaseToolpathLists();
    // Stops the idle compiling of display lists.
    void StopListTimer();
    void RenderMesh();
    void RenderGCode();
    void ResetView();
    void CycleRenderMode();

    TUniqueHwnd RootWnd;
    TUniqueHwnd GLWnd;
    TUniqueHwnd StatusWnd;
    TWindowDC GLDC;
    TGLContext GLRC;
    std::unique_ptr<TMeshData> Mesh;
    TMeshCamera MeshCam;  // RotX, RotY, Zoom, PanX, PanY
    uint8_t RenderMode = 0;
    bool DarkMode = false;
    std::string PluginDir;
    bool GLReady = false;
    bool GLFailed = false;
    int Samples = 0;
    TDragState Drag;  // LeftDrag, RightDrag, LastX, LastY
    bool ShowSplash = true;
    std::string StatusText = "Ready";  // ANSI
    std::string ErrorText;             // ANSI
    std::unique_ptr<TGCodeParser> GCode;
    bool IsGCode = false;
    TGCodeCamera GCodeCam;  // CamYaw, CamPitch, CamDist, CamTarget*, CamPan*
    // The toolpath's display lists in GLRC, kept while only the camera moves.
    TToolpathCache ToolpathCache;
    int LayerSel = -1;
    double LineWidth = 0.4;
    HWND PanelWnd = nullptr;  // child of RootWnd, destroyed with it (as are its controls)
    TUniqueFont PanelFont;
    TUniqueBrush PanelBrush;  // background of the panel and its controls
    HWND BtnReset = nullptr, BtnTop = nullptr, BtnFront = nullptr, BtnSide = nullptr;
    HWND LblLayer = nullptr, TrkLayer = nullptr;
    HWND ChkTravel = nullptr, ChkPrint = nullptr, ChkColorByLayer = nullptr, ChkSupport = nullptr;
    HWND ChkLighting = nullptr, ChkAxes = nullptr, ChkEdges = nullptr;
    HWND LblLineWidth = nullptr, TrkLineWidth = nullptr, LblInfo = nullptr;

    // G-code side panel.
    void CreateGCodePanel();
    void UpdateGCodePanel();
    LRESULT GCodePanelProc(UINT msg, WPARAM wp, LPARAM lp);

private:
    void ShowLoadingSplash(const std::wstring& fileName);
    void FailLoad(const std::string& ansiError, const std::string& status);
    void LoadGCodeFile(const std::wstring& fileName);
    void LoadMeshFile(const std::wstring& fileName);
    bool ShowGLWindow();
    bool ShowsToolpath() const;
    void RepaintGL();
    void OnKeyDown(WPARAM wp, LPARAM lp);
    void OnMouseMove(LPARAM lp);
    void OnWheel(WPARAM wp);
    void OnSize();
    void OnPaintGL();
    void ApplyLayerSlider();
    void ApplyWidthSlider();
    void OnPanelCommand(WPARAM wp);
    void SetPanelText(HWND control, const std::string& text);
    const TGLApi* PrepareGL();
    bool DrawMesh();
    bool DrawGCode();
    void OnListTimer();
    void PrintClient(HDC target);
    HWND ListerWindow() const;
};

}  // namespace voxaro
