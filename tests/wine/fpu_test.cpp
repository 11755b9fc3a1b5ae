// The host may unmask floating-point exceptions; files with extreme numbers
// must still load and draw without raising one in the host.
#include <gtest/gtest.h>

#include <float.h>

#include <string>

#include "plugin_fixture.h"

namespace voxaro::wine {
namespace {

// Unmasks overflow, zero-divide and invalid-operation like a Delphi host.
class HostFpuMode {
public:
    HostFpuMode() : Saved_(_controlfp(0, 0)) { _controlfp(_EM_INEXACT | _EM_UNDERFLOW | _EM_DENORMAL, _MCW_EM); }
    ~HostFpuMode()
    {
        _clearfp();
        _controlfp(Saved_, _MCW_EM);
    }

private:
    unsigned int Saved_;
};

std::string ExtremeAsciiStl()
{
    return "solid extreme\n"
           "facet normal 1e38 1e38 1e38\nouter loop\n"
           "vertex -3e38 -3e38 -3e38\nvertex 3e38 3e38 3e38\nvertex 1e-45 0 nan\n"
           "endloop\nendfacet\n"
           "facet normal 0 0 0\nouter loop\n"
           "vertex inf 0 0\nvertex 0 -inf 0\nvertex 0 0 1\n"
           "endloop\nendfacet\nendsolid extreme\n";
}

TEST(HostFloatingPoint, ExtremeNumbersRaiseNothingInTheHost)
{
    TListerWindow lister;
    std::wstring file = WriteTempFile(L"extreme.stl", ExtremeAsciiStl());
    HostFpuMode host;
    HWND root = Plugin().ListLoadW(lister.Handle(), file.data(), 0);
    ASSERT_NE(root, nullptr);
    Pump(300);
    CaptureGL(GLWindow(root));
    EXPECT_EQ(StatusText(root).rfind(L"STL ASCII  |  Triangles: 2  |  Vertices: 6", 0), 0u) << StatusText(root).c_str();
    EXPECT_EQ(_controlfp(0, 0) & _MCW_EM, static_cast<unsigned>(_EM_INEXACT | _EM_UNDERFLOW | _EM_DENORMAL))
        << "the plug-in must hand the host's exception mask back";
    Plugin().ListCloseWindow(root);
}

}  // namespace
}  // namespace voxaro::wine
