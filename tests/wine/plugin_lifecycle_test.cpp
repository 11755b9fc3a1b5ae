// Viewers from the host's side: opening, reloading, commands, closing,
// unknown windows, several viewers at once, and unloading the library while
// viewers are open.
#include "plugin_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace voxaro::wine {
namespace {

// The host's default-parameter block.
struct TListDefaultParams {
    int Size;
    DWORD PluginInterfaceVersionLow;
    DWORD PluginInterfaceVersionHi;
    char DefaultIniName[MAX_PATH];
};

TEST(PluginLifecycle, UnknownWindowsAreRejected)
{
    TPluginApi& p = Plugin();
    TListerWindow lister(320, 240);
    std::wstring name = Gear();
    std::string ansi = Ansi(name);
    for (HWND wnd : {reinterpret_cast<HWND>(1), static_cast<HWND>(nullptr), lister.Handle(), GetDesktopWindow()}) {
        SCOPED_TRACE(::testing::Message() << "window " << wnd);
        EXPECT_EQ(p.ListLoadNextW(lister.Handle(), wnd, name.data(), 0), 1);
        EXPECT_EQ(p.ListLoadNext(lister.Handle(), wnd, ansi.data(), 0), 1);
        for (int command : {1, 2, 3, 4})
            EXPECT_EQ(p.ListSendCommand(wnd, command, 0), 1) << "command " << command;
        p.ListCloseWindow(wnd);  // ignored
    }
    EXPECT_TRUE(IsWindow(lister.Handle()));
    EXPECT_EQ(GetWindow(lister.Handle(), GW_CHILD), nullptr) << "no viewer was created";
}

TEST(PluginLifecycle, EmptyNamesOpenNothing)
{
    TListerWindow lister(320, 240);
    wchar_t wide[] = L"";
    char narrow[] = "";
    EXPECT_EQ(Plugin().ListLoadW(lister.Handle(), wide, 0), nullptr);
    EXPECT_EQ(Plugin().ListLoad(lister.Handle(), narrow, 0), nullptr);
    EXPECT_EQ(GetWindow(lister.Handle(), GW_CHILD), nullptr);
}

TEST(PluginLifecycle, CommandsOnALiveViewer)
{
    TListerWindow lister(400, 300);
    TViewer viewer(lister, Gear());
    ASSERT_NE(viewer.Root(), nullptr);
    TImage before = CaptureGL(viewer.GL());
    std::wstring status = viewer.Status();
    EXPECT_EQ(Plugin().ListSendCommand(viewer.Root(), 2, 0), 0) << "new parameters";
    EXPECT_EQ(Plugin().ListSendCommand(viewer.Root(), 2, 128), 0) << "new parameters asking for dark colours";
    for (int command : {0, 1, 3, 4, 5, 100})
        EXPECT_EQ(Plugin().ListSendCommand(viewer.Root(), command, 0), 1) << command;
    Pump(30);
    EXPECT_EQ(DiffCount(CaptureGL(viewer.GL()), before), 0u) << "the commands change nothing, not even the colours";
    EXPECT_EQ(viewer.Status(), status);
}

TEST(PluginLifecycle, CloseDestroysTheWindowTree)
{
    TListerWindow lister(400, 300);
    TViewer viewer(lister, Gear());
    HWND root = viewer.Root();
    ASSERT_NE(root, nullptr);
    HWND gl = viewer.GL(), status = StatusWindow(root);
    viewer.Close();
    EXPECT_FALSE(IsWindow(root));
    EXPECT_FALSE(IsWindow(gl));
    EXPECT_FALSE(IsWindow(status));
    EXPECT_EQ(GetWindow(lister.Handle(), GW_CHILD), nullptr);
    EXPECT_EQ(Plugin().ListSendCommand(root, 2, 0), 1) << "a closed viewer is gone from the list";
    std::wstring name = Gear();
    EXPECT_EQ(Plugin().ListLoadNextW(lister.Handle(), root, name.data(), 0), 1);
    Plugin().ListCloseWindow(root);  // a second close is ignored
    EXPECT_EQ(GetWindow(lister.Handle(), GW_CHILD), nullptr);
}

TEST(PluginLifecycle, ViewerWhoseWindowsWereDestroyedIsForgotten)
{
    HWND root = nullptr;
    {
        TListerWindow lister(400, 300);
        root = Plugin().ListLoadW(lister.Handle(), const_cast<wchar_t*>(Gear().c_str()), 0);
        ASSERT_NE(root, nullptr);
        // The Lister window goes without ListCloseWindow.
    }
    EXPECT_FALSE(IsWindow(root));
    EXPECT_EQ(Plugin().ListSendCommand(root, 2, 0), 1);
    TListerWindow other(400, 300);
    std::wstring name = Gear();
    EXPECT_EQ(Plugin().ListLoadNextW(other.Handle(), root, name.data(), 0), 1);
    Plugin().ListCloseWindow(root);
    EXPECT_EQ(GetWindow(other.Handle(), GW_CHILD), nullptr) << "the dead viewer made no new windows";
    // New viewers still work.
    TViewer viewer(other, Gear());
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));
}

TEST(PluginLifecycle, AnsiEntryPoints)
{
    TListerWindow lister(400, 300);
    std::string gear = Ansi(Gear()), overhang = Ansi(Overhang()), slice = Ansi(Slice());
    HWND root = Plugin().ListLoad(lister.Handle(), gear.data(), 0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(ClassOf(root), L"VoxaroRoot");
    EXPECT_TRUE(StartsWith(StatusText(root), L"STL Binary  |  ")) << StatusText(root);
    EXPECT_EQ(Plugin().ListLoadNext(lister.Handle(), root, overhang.data(), 0), 0);
    EXPECT_TRUE(StartsWith(StatusText(root), L"STL ASCII  |  ")) << StatusText(root);
    EXPECT_EQ(Plugin().ListLoadNext(lister.Handle(), root, slice.data(), 0), 0);
    EXPECT_TRUE(StartsWith(StatusText(root), L"GCode  |  Moves: ")) << StatusText(root);
    Plugin().ListCloseWindow(root);
    EXPECT_FALSE(IsWindow(root));
}

TEST(PluginLifecycle, ReloadSwitchesBetweenModelAndToolpath)
{
    TListerWindow lister(500, 400);
    TViewer viewer(lister, Gear());
    ASSERT_NE(viewer.Root(), nullptr);
    const std::wstring mesh = viewer.Status();
    EXPECT_TRUE(StartsWith(mesh, L"STL Binary  |  ")) << mesh;
    TImage meshFrame = CaptureGL(viewer.GL());

    ASSERT_EQ(viewer.Reload(Slice()), 0);
    EXPECT_TRUE(StartsWith(viewer.Status(), L"GCode  |  Moves: ")) << viewer.Status();
    EXPECT_TRUE(IsWindowVisible(viewer.GL()));
    EXPECT_EQ(viewer.Root(), GetWindow(lister.Handle(), GW_CHILD)) << "the same root window";

    ASSERT_EQ(viewer.Reload(Gear()), 0);
    EXPECT_EQ(viewer.Status(), mesh);
    RECT gl{};
    GetClientRect(viewer.GL(), &gl);
    EXPECT_EQ(gl.right, 500) << "the mesh view has the full width";
    EXPECT_EQ(gl.bottom, 400 - kStatusHeight);
    EXPECT_EQ(DiffCount(CaptureGL(viewer.GL()), meshFrame), 0u) << "the same model drawn the same way again";
}

TEST(PluginLifecycle, TwoViewersKeepSeparateState)
{
    TListerWindow listerA(400, 300), listerB(400, 300);
    auto a = std::make_unique<TViewer>(listerA, Gear());
    TViewer b(listerB, Overhang(), 128);
    ASSERT_NE(a->Root(), nullptr);
    ASSERT_NE(b.Root(), nullptr);
    ASSERT_NE(a->Root(), b.Root());
    EXPECT_TRUE(StartsWith(a->Status(), L"STL Binary  |  "));
    EXPECT_TRUE(StartsWith(b.Status(), L"STL ASCII  |  "));
    TImage frameA = CaptureGL(a->GL()), frameB = CaptureGL(b.GL());
    EXPECT_TRUE(Near(frameA.At(0, 0), kLightBackground, 1)) << "A is light";
    EXPECT_TRUE(Near(frameB.At(0, 0), kDarkBackground, 1)) << "B is dark";

    // Turning A and switching its mode leaves B alone, and the other way round.
    a->Key(VK_RIGHT);
    a->Key('W');
    EXPECT_NE(DiffCount(CaptureGL(a->GL()), frameA), 0u);
    EXPECT_EQ(DiffCount(CaptureGL(b.GL()), frameB), 0u);
    b.Key(VK_LEFT);
    b.Key(VK_LEFT);
    TImage turnedB = CaptureGL(b.GL());
    EXPECT_NE(DiffCount(turnedB, frameB), 0u);
    a->Key(VK_LEFT);
    a->Key('W');
    a->Key('W');
    EXPECT_EQ(DiffCount(CaptureGL(a->GL()), frameA), 0u) << "A is back where it was";

    // Reloading A does not touch B.
    ASSERT_EQ(a->Reload(Slice()), 0);
    EXPECT_TRUE(StartsWith(b.Status(), L"STL ASCII  |  "));

    // Closing A leaves B working.
    HWND rootA = a->Root();
    a.reset();
    EXPECT_FALSE(IsWindow(rootA));
    EXPECT_EQ(Plugin().ListSendCommand(rootA, 2, 0), 1);
    EXPECT_EQ(Plugin().ListSendCommand(b.Root(), 2, 0), 0);
    EXPECT_TRUE(StartsWith(b.Status(), L"STL ASCII  |  "));
    EXPECT_EQ(DiffCount(CaptureGL(b.GL()), turnedB), 0u);
    b.Key(VK_RIGHT);
    b.Key(VK_RIGHT);
    EXPECT_EQ(DiffCount(CaptureGL(b.GL()), frameB), 0u);
    ASSERT_EQ(b.Reload(Gear(), 128), 0);
    EXPECT_TRUE(StartsWith(b.Status(), L"STL Binary  |  "));
}

TEST(PluginLifecycle, SetDefaultParamsThenLoad)
{
    TListDefaultParams params{};
    params.Size = sizeof params;
    params.PluginInterfaceVersionLow = 20;
    params.PluginInterfaceVersionHi = 2;
    std::strcpy(params.DefaultIniName, "C:\\lsplugin.ini");
    Plugin().ListSetDefaultParams(&params);
    TListerWindow lister(400, 300);
    TViewer viewer(lister, Gear());
    ASSERT_NE(viewer.Root(), nullptr);
    EXPECT_TRUE(StartsWith(viewer.Status(), L"STL Binary  |  "));
}

TEST(PluginLifecycle, PreviewBitmapRefusals)
{
    char empty[] = "";
    EXPECT_EQ(Plugin().ListGetPreviewBitmap(empty, 96, 96, nullptr, 0), nullptr) << "empty name";
    std::string gear = Ansi(Gear());
    EXPECT_EQ(Plugin().ListGetPreviewBitmap(gear.data(), 0, 96, nullptr, 0), nullptr) << "0 x 96";
    std::string tap = Ansi(WriteTempFile(L"thumb.tap", "G1 X10 Y10 Z0.2 E1\nG1 X20 E2\n"));
    EXPECT_EQ(Plugin().ListGetPreviewBitmap(tap.data(), 96, 96, nullptr, 0), nullptr) << ".tap files get no thumbnail";
}

// --- unloading with open viewers -------------------------------------------
//
// After FreeLibrary the plug-in's windows are still there but their window
// procedure is gone, so any message to them would crash. The check therefore
// runs in a child process (this program started with --voxaro-unload-child),
// which ends itself with TerminateProcess right after looking at the windows.

constexpr wchar_t kChildSwitch[] = L"--voxaro-unload-child";

enum TUnloadResult : DWORD {
    kLoadFailed = 1 << 0,
    kNoViewer = 1 << 1,
    kNotShown = 1 << 2,
    kFreeFailed = 1 << 3,
    kStillLoaded = 1 << 4,
    kRootDestroyed = 1 << 5,
    kChildDestroyed = 1 << 6,
    kListerDestroyed = 1 << 7,
    kCrashed = 0x4000,
};

std::string DescribeUnloadResult(DWORD code)
{
    static const char* const names[] = {"library not loaded",     "no viewer",
                                        "model not shown",        "FreeLibrary failed",
                                        "module still loaded",    "root window destroyed",
                                        "child window destroyed", "Lister window destroyed"};
    if (code == kCrashed) return "crashed";
    std::string text;
    for (int i = 0; i < 8; ++i)
        if (code & (1u << i)) text += std::string(names[i]) + "; ";
    return text.empty() ? "exit code " + std::to_string(code) : text;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS*)
{
    TerminateProcess(GetCurrentProcess(), kCrashed);
    return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void RunUnloadChild()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    DWORD result = 0;
    std::wstring path = PluginPath();
    TPluginApi api;
    if (!api.Load() || !api.ListLoadW || !api.ListSetDefaultParams) TerminateProcess(GetCurrentProcess(), kLoadFailed);

    // The first call primes the folder cache; the viewers below then use it.
    TListDefaultParams params{};
    params.Size = sizeof params;
    api.ListSetDefaultParams(&params);

    // Never destroyed: their children run code of the unloaded library.
    auto* shown = new TListerWindow(400, 300);
    auto* failed = new TListerWindow(400, 300);
    auto* gone = new TListerWindow(400, 300);
    std::wstring gear = Gear();
    std::wstring missing = MissingTempFile(L"unload-missing.stl");
    HWND root = api.ListLoadW(shown->Handle(), gear.data(), 0);
    HWND rootFailed = api.ListLoadW(failed->Handle(), missing.data(), 128);
    HWND rootGone = api.ListLoadW(gone->Handle(), gear.data(), 0);
    if (!root || !rootFailed || !rootGone) result |= kNoViewer;
    HWND gl = GLWindow(root), status = StatusWindow(root);
    if (!gl || !IsWindowVisible(gl)) result |= kNotShown;
    DestroyWindow(gone->Handle());  // a viewer whose windows are gone already
    Pump(100);

    if (!FreeLibrary(api.Module)) result |= kFreeFailed;
    if (GetModuleHandleW(path.c_str())) result |= kStillLoaded;
    if (!IsWindow(root) || !IsWindow(rootFailed)) result |= kRootDestroyed;
    if (!IsWindow(gl) || !IsWindow(status) || !IsWindow(GLWindow(rootFailed))) result |= kChildDestroyed;
    if (!IsWindow(shown->Handle()) || !IsWindow(failed->Handle())) result |= kListerDestroyed;
    TerminateProcess(GetCurrentProcess(), result);
    for (;;)
        Sleep(1000);
}

// Runs the child before main when this program was started as one.
const bool kIsUnloadChild = [] {
    if (std::wcsstr(GetCommandLineW(), kChildSwitch)) RunUnloadChild();
    return false;
}();

// Starts this program again with the switch and returns its exit code, or
// kCrashed when it did not end within a minute.
DWORD RunChild(const wchar_t* childSwitch)
{
    wchar_t exe[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, exe, MAX_PATH) == 0) return kCrashed;
    std::wstring command = L"\"" + std::wstring(exe) + L"\" " + childSwitch;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return kCrashed;
    DWORD wait = WaitForSingleObject(pi.hProcess, 60000);
    if (wait != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, kCrashed);
    DWORD code = kCrashed;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return wait == WAIT_OBJECT_0 ? code : kCrashed;
}

TEST(PluginLifecycle, UnloadForgetsOpenViewersWithoutDestroyingWindows)
{
    ASSERT_FALSE(kIsUnloadChild);
    DWORD code = RunChild(kChildSwitch);
    EXPECT_EQ(code, 0u) << DescribeUnloadResult(code);
}

// --- process exit ----------------------------------------------------------
//
// A child process opens a toolpath and a model, then ends with ExitProcess.
// The library is then told of the detach inside the loader lock, where it
// must destroy and release nothing: the system reclaims windows and contexts.
// Before, the viewer list's destructor destroyed every viewer's windows
// there. The child watches for a window being destroyed and ends with
// kDestroyedAtExit when one is.

constexpr wchar_t kExitChildSwitch[] = L"--voxaro-exit-child";
constexpr DWORD kDestroyedAtExit = 77, kExitSetupFailed = 78;

LRESULT CALLBACK WatchDestroy(int code, WPARAM wp, LPARAM lp)
{
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && (msg->message == WM_DESTROY || msg->message == WM_NCDESTROY))
        TerminateProcess(GetCurrentProcess(), kDestroyedAtExit);
    return CallNextHookEx(nullptr, code, wp, lp);
}

[[noreturn]] void RunExitChild()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    TPluginApi api;
    if (!api.Load() || !api.ListLoadW) TerminateProcess(GetCurrentProcess(), kExitSetupFailed);
    auto* toolpath = new TListerWindow(400, 300);
    auto* model = new TListerWindow(400, 300);
    std::wstring slice = Slice(), gear = Gear();
    HWND a = api.ListLoadW(toolpath->Handle(), slice.data(), 0);
    HWND b = api.ListLoadW(model->Handle(), gear.data(), 0);
    if (!a || !b || !IsWindowVisible(GLWindow(a)) || !IsWindowVisible(GLWindow(b)))
        TerminateProcess(GetCurrentProcess(), kExitSetupFailed);
    Pump(100);
    SetWindowsHookExW(WH_CALLWNDPROC, WatchDestroy, nullptr, GetCurrentThreadId());
    ExitProcess(0);
}

const bool kIsExitChild = [] {
    if (std::wcsstr(GetCommandLineW(), kExitChildSwitch)) RunExitChild();
    return false;
}();

TEST(PluginLifecycle, ProcessExitDestroysNothing)
{
    ASSERT_FALSE(kIsExitChild);
    DWORD code = RunChild(kExitChildSwitch);
    EXPECT_NE(code, kDestroyedAtExit) << "a window was destroyed during the process detach";
    EXPECT_EQ(code, 0u);
}

// --- the panel class's brush -----------------------------------------------
//
// The system deletes a class's background brush when the class is
// unregistered. But classes outlive an unload while windows of the library
// remain, and a later load then finds the panel class registered already:
// the brush made for the registration stayed behind, one with every load and
// unload. The child process counts the brushes the library makes and
// deletes, through its import table.

constexpr wchar_t kBrushChildSwitch[] = L"--voxaro-brush-child";
constexpr DWORD kBrushSetupFailed = 1, kBrushLeaked = 2;

std::vector<HGDIOBJ>* LiveBrushes = nullptr;

HBRUSH WINAPI CountedCreateSolidBrush(COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush) LiveBrushes->push_back(brush);
    return brush;
}

BOOL WINAPI CountedDeleteObject(HGDIOBJ object)
{
    LiveBrushes->erase(std::remove(LiveBrushes->begin(), LiveBrushes->end(), object), LiveBrushes->end());
    return DeleteObject(object);
}

// Points the module's imports of gdi32's CreateSolidBrush and DeleteObject
// at the counting versions; false when it imports neither.
bool CountBrushesOf(HMODULE module)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), "gdi32.dll") != 0) continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const char* fn = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name;
            void* to = std::strcmp(fn, "CreateSolidBrush") == 0 ? reinterpret_cast<void*>(CountedCreateSolidBrush)
                       : std::strcmp(fn, "DeleteObject") == 0   ? reinterpret_cast<void*>(CountedDeleteObject)
                                                                : nullptr;
            if (!to) continue;
            DWORD old = 0;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &old);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(to);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, old, &old);
            ++patched;
        }
    }
    return patched == 2;
}

[[noreturn]] void RunBrushChild()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    LiveBrushes = new std::vector<HGDIOBJ>;
    std::wstring slice = Slice();
    // Never destroyed: their children run code of an unloaded library.
    auto* first = new TListerWindow(400, 300);
    auto* second = new TListerWindow(400, 300);
    TPluginApi api;
    if (!api.Load() || !api.ListLoadW(first->Handle(), slice.data(), 0))
        TerminateProcess(GetCurrentProcess(), kBrushSetupFailed);
    FreeLibrary(api.Module);  // the viewer's windows keep the classes registered
    if (!api.Load() || !CountBrushesOf(api.Module)) TerminateProcess(GetCurrentProcess(), kBrushSetupFailed);
    HWND root = api.ListLoadW(second->Handle(), slice.data(), 0);
    if (!root || !IsWindowVisible(GLWindow(root))) TerminateProcess(GetCurrentProcess(), kBrushSetupFailed);
    api.ListCloseWindow(root);
    TerminateProcess(GetCurrentProcess(), LiveBrushes->empty() ? 0 : kBrushLeaked);
    for (;;)
        Sleep(1000);
}

const bool kIsBrushChild = [] {
    if (std::wcsstr(GetCommandLineW(), kBrushChildSwitch)) RunBrushChild();
    return false;
}();

TEST(PluginLifecycle, ReloadAfterAnUnloadWithOpenViewersLeaksNoBrush)
{
    ASSERT_FALSE(kIsBrushChild);
    EXPECT_EQ(RunChild(kBrushChildSwitch), 0u) << "1: setting up failed, 2: a brush of the library outlived its viewer";
}

}  // namespace
}  // namespace voxaro::wine
