// 3MF files in the real plug-in, with lib3mf.dll test doubles
// (tests/lib3mf/fake_lib3mf_win.cpp) beside copies of it: with_lib3mf\ and
// short_lib3mf\ next to this program. The plug-in under test has no lib3mf
// beside it. The double's model: a red cube (object colour, shared vertices)
// and a pyramid with green and blue triangles (flat).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "plugin_fixture.h"

namespace voxaro::wine {
namespace {

const wchar_t kColoured[] = L"3MF  |  Objects: 2  |  Vertices: 26  |  Triangles: 18  |  Material: Yes";

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring CopyFolder(const wchar_t* name)
{
    wchar_t exe[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return FolderOf(exe) + name + L"\\";
}

// A copy of the plug-in, loaded for one test.
struct TCopy {
    TPluginApi Api;
    std::wstring Folder;
    explicit TCopy(const wchar_t* name) : Folder(CopyFolder(name)) { Api.Load(Folder + L"voxaro.wlx64"); }
    ~TCopy() { Api.Unload(); }
    bool LibraryLoaded() const { return GetModuleHandleW((Folder + L"lib3mf.dll").c_str()) != nullptr; }
};

// The double's fault plan (read each time the plug-in loads it).
struct TFaults {
    explicit TFaults(const wchar_t* plan) { SetEnvironmentVariableW(L"VOXARO_LIB3MF_FAULTS", plan); }
    ~TFaults() { SetEnvironmentVariableW(L"VOXARO_LIB3MF_FAULTS", nullptr); }
};

struct TShown {
    std::wstring Status;
    bool GLVisible = false;
    TImage Frame;  // the GL frame, or the root's page when the GL window is hidden
};

TShown Show(TPluginApi& api, const std::wstring& file)
{
    TListerWindow lister(320, 240);
    std::wstring name = file;
    HWND root = api.ListLoadW(lister.Handle(), name.data(), 0);
    TShown shown;
    if (!root) return shown;
    lister.FitChild();
    shown.Status = StatusText(root);
    shown.GLVisible = IsWindowVisible(GLWindow(root));
    shown.Frame = shown.GLVisible ? CaptureGL(GLWindow(root)) : CaptureWindow(root);
    api.ListCloseWindow(root);
    return shown;
}

// Pixels whose channel c (0 red, 1 green, 2 blue) clearly leads the others.
size_t Hue(const TImage& image, int c)
{
    size_t n = 0;
    for (uint32_t p : image.Pixels) {
        int v[3] = {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF), static_cast<int>(p & 0xFF)};
        n += v[c] > 60 && v[c] > 2 * v[(c + 1) % 3] && v[c] > 2 * v[(c + 2) % 3];
    }
    return n;
}

std::wstring Model()
{
    return WriteTempFile(L"model.3mf", "the double does not read this");
}

// The view and the thumbnail; lib3mf is unloaded after each read.
TEST(ThreeMf, ColouredModelThroughTheLibraryBesideThePlugin)
{
    TCopy copy(L"with_lib3mf");
    ASSERT_NE(copy.Api.Module, nullptr);
    TShown shown = Show(copy.Api, Model());
    EXPECT_EQ(shown.Status, kColoured + MeshAaSuffix() + kKeyHelp);
    ASSERT_TRUE(shown.GLVisible);
    EXPECT_GT(Hue(shown.Frame, 0), 500u) << "red cube";
    EXPECT_GT(Hue(shown.Frame, 1), 50u) << "green triangles";
    EXPECT_GT(Hue(shown.Frame, 2), 50u) << "blue triangles";
    EXPECT_FALSE(copy.LibraryLoaded());

    std::string name = Ansi(Model());
    HBITMAP bitmap = copy.Api.ListGetPreviewBitmap(name.data(), 96, 96, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    TImage thumb = PaintImage(96, 96, [&](HDC dc) {
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, bitmap);
        BitBlt(dc, 0, 0, 96, 96, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    });
    DeleteObject(bitmap);
    EXPECT_GT(Hue(thumb, 0), 200u) << "red cube";
    EXPECT_FALSE(copy.LibraryLoaded());
    EXPECT_EQ(Plugin().ListGetPreviewBitmap(name.data(), 96, 96, nullptr, 0), nullptr) << "no library, no picture";
}

TEST(ThreeMf, LibraryProblemsOnTheErrorPage)
{
    const std::wstring prefix = L"Error: lib3mf.dll not loaded (";
    const std::wstring refused = L"lib3mf.dll): the 3MF Library Error - the version of the binary interface does not "
                                 L"match the bindings interface (#8, )";
    TCopy with(L"with_lib3mf"), without(L"short_lib3mf");
    struct Row {
        TPluginApi& Api;
        const wchar_t* Faults;
        std::wstring File, Status;
    } rows[] = {
        {Plugin(), L"", Model(),
         prefix + FolderOf(PluginPath()) +
             L"lib3mf.dll): the 3MF Library Error - the library could not be loaded (#6, )"},
        {with.Api, L"version=2.4.0", Model(), prefix + with.Folder + refused},
        {with.Api, L"version=3.0.0", Model(), prefix + with.Folder + refused},
        {without.Api, L"", Model(),
         prefix + without.Folder +
             L"lib3mf.dll): could not find function lib3mf_basematerialgroup_getdisplaycolor (7)"},
        {with.Api, L"fail=lib3mf_meshobject_gettriangleindices", Model(),
         L"Error: 3MF geometry error: the 3MF Library Error - a generic exception occurred (#5, injected failure in "
         L"lib3mf_meshobject_gettriangleindices)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Status);
        TFaults faults(r.Faults);
        TShown shown = Show(r.Api, r.File);
        EXPECT_EQ(shown.Status, AnsiRoundTrip(r.Status));
        EXPECT_FALSE(shown.GLVisible);
        ASSERT_FALSE(shown.Frame.Empty());
        EXPECT_TRUE(Near(shown.Frame.At(2, shown.Frame.Height - kStatusHeight - 2), Rgb(240, 220, 220), 1))
            << "error page";
    }
    EXPECT_FALSE(with.LibraryLoaded());
}

// The one reader error raised out of the load: mesh arrays that cannot be had
// (2,000,000,000 vertex records, 56 GB, more than this machine has). ListLoadW
// makes no viewer; ListLoadNextW answers 1 and keeps the viewer.
TEST(ThreeMf, MeshThatCannotBeHad)
{
    TCopy copy(L"with_lib3mf");
    TListerWindow lister(320, 240);
    std::wstring name = Model();
    HWND root = copy.Api.ListLoadW(lister.Handle(), name.data(), 0);
    ASSERT_NE(root, nullptr);
    TFaults faults(L"vertexcount=2000000000@1 fail=lib3mf_meshobject_getalltriangleproperties");
    EXPECT_EQ(copy.Api.ListLoadNextW(lister.Handle(), root, name.data(), 0), 1);
    EXPECT_TRUE(IsWindow(root));
    copy.Api.ListCloseWindow(root);
    TListerWindow other(320, 240);
    EXPECT_EQ(copy.Api.ListLoadW(other.Handle(), name.data(), 0), nullptr);
    EXPECT_EQ(GetWindow(other.Handle(), GW_CHILD), nullptr) << "no window left behind";
    EXPECT_FALSE(copy.LibraryLoaded());
}

}  // namespace
}  // namespace voxaro::wine
