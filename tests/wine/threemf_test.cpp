// 3MF files in the real plug-in, with lib3mf.dll test doubles
// (tests/lib3mf/fake_lib3mf_win.cpp) beside copies of it: with_lib3mf\,
// short_lib3mf\ and nobuild_lib3mf\ next to this program. The plug-in under
// test has no lib3mf beside it. The double's usual package: a red cube (object
// colour, shared vertices) and a pyramid with green and blue triangles (flat),
// each placed by a build item; a file starting "instances" gets one block
// placed twice instead.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
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

// Whether channel c (0 red, 1 green, 2 blue) of a pixel clearly leads the others.
bool Leads(uint32_t p, int c)
{
    int v[3] = {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF), static_cast<int>(p & 0xFF)};
    return v[c] > 60 && v[c] > 2 * v[(c + 1) % 3] && v[c] > 2 * v[(c + 2) % 3];
}

// Pixels whose channel c leads the others.
size_t Hue(const TImage& image, int c)
{
    size_t n = 0;
    for (uint32_t p : image.Pixels)
        n += Leads(p, c);
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
    TCopy with(L"with_lib3mf"), without(L"short_lib3mf"), noBuild(L"nobuild_lib3mf");
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
        {noBuild.Api, L"", Model(),
         prefix + noBuild.Folder + L"lib3mf.dll): could not find function lib3mf_model_getbuilditems (7)"},
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
    EXPECT_FALSE(noBuild.LibraryLoaded());
}

// The double's "instances" package: a block of kBlock on a side at the origin,
// its two faces across z green and the other four blue, placed by two build
// items: A moves it; B holds a components object whose one component turns
// it a quarter round y, and then moves it.
constexpr double kBlock = 20;
using TVec = std::array<double, 3>;
struct TPlacement {
    double Rows[4][3];  // row form: p * Rows[0..2] + Rows[3]
    TVec Apply(const TVec& p, bool point = true) const
    {
        TVec q{};
        for (int c = 0; c < 3; ++c)
            q[c] = p[0] * Rows[0][c] + p[1] * Rows[1][c] + p[2] * Rows[2][c] + (point ? Rows[3][c] : 0.0);
        return q;
    }
};
const TPlacement kPlacements[] = {
    {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-60, 0, 0}}},
    {{{0, 0, -1}, {0, 1, 0}, {1, 0, 0}, {40, 0, 20}}},  // the component's turn, then the item's move
};
constexpr int kBlockTriangles = 12;

// The viewer's first view of a mesh: turned 30 degrees round y, then -20
// round x, the eye 3 radii from the centre, 40 degrees of vertical field.
struct TFirstView {
    TVec Centre{};
    double Radius = 0;
    int Width = 0, Height = 0;
    POINT Project(const TVec& p) const
    {
        const double kPi = 3.14159265358979323846, ay = 30 * kPi / 180, ax = -20 * kPi / 180;
        TVec v = {p[0] - Centre[0], p[1] - Centre[1], p[2] - Centre[2]};
        TVec a = {v[0] * std::cos(ay) + v[2] * std::sin(ay), v[1], -v[0] * std::sin(ay) + v[2] * std::cos(ay)};
        TVec e = {a[0], a[1] * std::cos(ax) - a[2] * std::sin(ax), a[1] * std::sin(ax) + a[2] * std::cos(ax)};
        double depth = 3 * Radius - e[2], t = std::tan(20 * kPi / 180);
        double nx = e[0] / depth / (t * Width / Height), ny = e[1] / depth / t;
        return {static_cast<LONG>(std::lround((nx + 1) * Width / 2)),
                static_cast<LONG>(std::lround((1 - ny) * Height / 2))};
    }
};

// Both build items of one mesh are drawn, each at its place, in the mesh's
// colours: of each instance the face towards the viewer (+z) and its left
// side (-x) show the colour of the block face the placement turns there; the
// handles all go back.
TEST(ThreeMf, BuildItemsPlaceOneMeshTwice)
{
    TCopy copy(L"with_lib3mf");
    ASSERT_NE(copy.Api.Module, nullptr);
    HMODULE pin = LoadLibraryW((copy.Folder + L"lib3mf.dll").c_str());
    ASSERT_NE(pin, nullptr);
    auto handles = reinterpret_cast<void (*)(int*, int*)>(GetProcAddress(pin, "voxaro_fake_handles"));
    ASSERT_NE(handles, nullptr);
    TShown shown = Show(copy.Api, WriteTempFile(L"instances.3mf", "instances"));
    int live = -1, bad = -1;
    handles(&live, &bad);
    EXPECT_EQ(live, 0) << "handles kept";
    EXPECT_EQ(bad, 0) << "handles released twice or never given";
    FreeLibrary(pin);
    EXPECT_FALSE(copy.LibraryLoaded());

    const size_t n = std::size(kPlacements);
    // Flat layout (triangle colours): three vertex records per triangle.
    EXPECT_EQ(shown.Status, L"3MF  |  Objects: " + std::to_wstring(n) + L"  |  Vertices: " +
                                std::to_wstring(3 * kBlockTriangles * n) + L"  |  Triangles: " +
                                std::to_wstring(kBlockTriangles * n) + L"  |  Material: Yes" + MeshAaSuffix() +
                                kKeyHelp);
    ASSERT_TRUE(shown.GLVisible);
    const TImage& frame = shown.Frame;
    ASSERT_FALSE(frame.Empty());

    TVec low = {1e9, 1e9, 1e9}, high = {-1e9, -1e9, -1e9};
    for (const TPlacement& placement : kPlacements)
        for (int corner = 0; corner < 8; ++corner) {
            TVec p = placement.Apply({corner & 1 ? kBlock : 0, corner & 2 ? kBlock : 0, corner & 4 ? kBlock : 0});
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], p[c]);
                high[c] = std::max(high[c], p[c]);
            }
        }
    TFirstView view;
    for (int c = 0; c < 3; ++c)
        view.Centre[c] = (low[c] + high[c]) / 2;
    view.Radius =
        std::sqrt(std::pow(high[0] - low[0], 2) + std::pow(high[1] - low[1], 2) + std::pow(high[2] - low[2], 2)) / 2;
    view.Width = frame.Width;
    view.Height = frame.Height;

    const TVec front = {0, 0, 1}, left = {-1, 0, 0};
    size_t checked = 0;
    for (size_t i = 0; i < n; ++i)
        for (int axis = 0; axis < 3; ++axis)
            for (int sign : {-1, 1}) {
                TVec normal{}, centre = {kBlock / 2, kBlock / 2, kBlock / 2};
                normal[axis] = sign;
                centre[axis] += sign * kBlock / 2;
                const TVec turned = kPlacements[i].Apply(normal, false);
                if (turned != front && turned != left) continue;
                ++checked;
                const int channel = axis == 2 ? 1 : 2;  // green across z, else blue
                POINT at = view.Project(kPlacements[i].Apply(centre));
                SCOPED_TRACE("instance " + std::to_string(i) + ", block face " + std::to_string(sign * (axis + 1)) +
                             " at " + std::to_string(at.x) + "," + std::to_string(at.y));
                ASSERT_TRUE(at.x >= 1 && at.y >= 1 && at.x + 1 < frame.Width && at.y + 1 < frame.Height);
                int leading = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        leading += Leads(frame.At(at.x + dx, at.y + dy), channel);
                EXPECT_EQ(leading, 9);
            }
    EXPECT_EQ(checked, 2 * n) << "a front and a left face of each instance";
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
