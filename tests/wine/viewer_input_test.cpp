// The mesh view as drawn by OpenGL (read back with WM_PRINTCLIENT): colours,
// draw modes, and every key and mouse action of the GL window.
#include "plugin_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace voxaro::wine {
namespace {

// Wire-only colours (0.2, 0.3, 0.4) and (0.7, 0.8, 0.9).
constexpr uint32_t kLightWire = Rgb(51, 77, 102);
constexpr uint32_t kDarkWire = Rgb(179, 204, 230);

struct TColour {
    double R, G, B;
};
constexpr TColour kLightModel = {0.38, 0.50, 0.62};
constexpr TColour kDarkModel = {0.48, 0.60, 0.72};

// Pixels of a surface of colour c lit by one white light: c times one factor.
// (Ambient and diffuse follow the colour; there is no specular term.)
size_t CountLit(const TImage& img, TColour c)
{
    size_t n = 0;
    for (uint32_t p : img.Pixels) {
        double r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (b < 45) continue;
        n += std::fabs(r / b - c.R / c.B) < 0.03 && std::fabs(g / b - c.G / c.B) < 0.03;
    }
    return n;
}

// Centre of the pixels that are not background.
struct TPointF {
    double X = 0, Y = 0;
    size_t N = 0;
};
TPointF Centroid(const TImage& img, uint32_t background)
{
    TPointF c;
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x)
            if (!Near(img.At(x, y), background, 3)) {
                c.X += x;
                c.Y += y;
                ++c.N;
            }
    if (c.N) {
        c.X /= static_cast<double>(c.N);
        c.Y /= static_cast<double>(c.N);
    }
    return c;
}

::testing::AssertionResult Same(const TImage& a, const TImage& b)
{
    if (a.Empty() || b.Empty()) return ::testing::AssertionFailure() << "empty frame";
    size_t d = DiffCount(a, b);
    if (d == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << d << " pixels differ";
}

::testing::AssertionResult Different(const TImage& a, const TImage& b)
{
    if (a.Empty() || b.Empty()) return ::testing::AssertionFailure() << "empty frame";
    size_t d = DiffCount(a, b);
    if (d > 100) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "only " << d << " pixels differ";
}

LPARAM At(int x, int y)
{
    return MAKELPARAM(x, y);
}

class ViewerInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        Viewer = std::make_unique<TViewer>(Lister, Gear());
        ASSERT_NE(Viewer->Root(), nullptr);
        GL = Viewer->GL();
        ASSERT_TRUE(IsWindowVisible(GL));
        Initial = Frame();
        ASSERT_EQ(Initial.Width, 640);
        ASSERT_EQ(Initial.Height, 480 - kStatusHeight);
    }
    void TearDown() override { Viewer.reset(); }

    TImage Frame() const { return CaptureGL(GL); }
    void Key(WPARAM vk, int times = 1) const
    {
        for (int i = 0; i < times; ++i)
            Viewer->Key(vk);
    }
    void Send(UINT msg, WPARAM wp, LPARAM lp) const { SendMessageW(GL, msg, wp, lp); }
    // Button down at from, one move to to, button up there.
    void LeftDrag(POINT from, POINT to) const { Drag(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, from, to); }
    void RightDrag(POINT from, POINT to) const { Drag(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, from, to); }
    void Drag(UINT down, UINT up, WPARAM button, POINT from, POINT to) const
    {
        Send(down, button, At(from.x, from.y));
        Send(WM_MOUSEMOVE, button, At(to.x, to.y));
        Send(up, 0, At(to.x, to.y));
    }
    void Wheel(int delta) const
    {
        Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))), At(320, 240));
    }

    TListerWindow Lister{640, 480};
    std::unique_ptr<TViewer> Viewer;
    HWND GL = nullptr;
    TImage Initial;
};

TEST_F(ViewerInput, LightAndDarkColours)
{
    const size_t area = Initial.Pixels.size();
    ExpectCorners(Initial, kLightBackground);
    size_t lit = CountLit(Initial, kLightModel);
    EXPECT_GT(lit, area / 20) << "too few pixels of the lit model colour";
    EXPECT_LT(CountLit(Initial, kDarkModel), lit / 4);

    ASSERT_EQ(Viewer->Reload(Gear(), 128), 0);
    TImage dark = Frame();
    ExpectCorners(dark, kDarkBackground);
    size_t darkLit = CountLit(dark, kDarkModel);
    EXPECT_GT(darkLit, area / 20) << "too few pixels of the lit dark model colour";
    EXPECT_LT(CountLit(dark, kLightModel), darkLit / 4);
    // The model covers the same pixels in both schemes.
    EXPECT_LT(std::abs(static_cast<long>(Initial.Count(kLightBackground, 3)) -
                       static_cast<long>(dark.Count(kDarkBackground, 3))),
              static_cast<long>(area / 100));

    ASSERT_EQ(Viewer->Reload(Gear(), 0), 0);
    EXPECT_TRUE(Same(Frame(), Initial)) << "light again after a reload without flag 128";
}

TEST_F(ViewerInput, WCyclesTheDrawModes)
{
    const size_t area = Initial.Pixels.size();
    const size_t background0 = Initial.Count(kLightBackground, 2);
    const size_t lit0 = CountLit(Initial, kLightModel);

    Key('W');  // mode 1: solid with a translucent black wire overlay
    TImage overlay = Frame();
    EXPECT_TRUE(Different(overlay, Initial));
    EXPECT_LT(std::abs(static_cast<long>(overlay.Count(kLightBackground, 2)) - static_cast<long>(background0)),
              static_cast<long>(area / 50))
        << "the overlay covers about the same area";
    EXPECT_GT(CountLit(overlay, kLightModel), lit0 / 2) << "the surface is still drawn";

    Key('W');  // mode 2: wire only
    TImage wire = Frame();
    EXPECT_TRUE(Different(wire, overlay));
    EXPECT_GT(wire.Count(kLightBackground, 2), background0 + area / 50) << "no filled surface any more";
    EXPECT_LT(CountLit(wire, kLightModel), lit0 / 10) << "still a lit surface";
    EXPECT_GT(wire.Count(kLightWire, 3), area / 100) << "too few pixels of the wire colour";

    // The mode survives a reload; the dark scheme has its own wire colour.
    ASSERT_EQ(Viewer->Reload(Gear(), 128), 0);
    TImage darkWire = Frame();
    EXPECT_GT(darkWire.Count(kDarkWire, 3), area / 100) << "too few pixels of the dark wire colour";
    EXPECT_EQ(darkWire.Count(kLightWire, 3), 0u);
    ASSERT_EQ(Viewer->Reload(Gear(), 0), 0);
    EXPECT_TRUE(Same(Frame(), wire));

    Key('W');  // back to mode 0
    EXPECT_TRUE(Same(Frame(), Initial));
    // R resets the camera, not the mode.
    Key('W');
    Key('R');
    EXPECT_TRUE(Same(Frame(), overlay));
}

TEST_F(ViewerInput, ArrowKeysTurnTheModelInFiveDegreeSteps)
{
    Key(VK_RIGHT);
    TImage right = Frame();
    EXPECT_TRUE(Different(right, Initial));
    Key(VK_LEFT);
    EXPECT_TRUE(Same(Frame(), Initial)) << "Left undoes Right";
    Key(VK_LEFT);
    TImage left = Frame();
    EXPECT_TRUE(Different(left, Initial));
    EXPECT_TRUE(Different(left, right));
    Key(VK_RIGHT);
    EXPECT_TRUE(Same(Frame(), Initial));

    Key(VK_UP);
    TImage up = Frame();
    EXPECT_TRUE(Different(up, Initial));
    EXPECT_TRUE(Different(up, right));
    Key(VK_DOWN);
    EXPECT_TRUE(Same(Frame(), Initial)) << "Down undoes Up";
    Key(VK_DOWN);
    EXPECT_TRUE(Different(Frame(), Initial));
    Key(VK_UP);
    EXPECT_TRUE(Same(Frame(), Initial));

    // 72 steps of 5 degrees are a full turn about Y: the same picture up to
    // rounding of the angle, so only a handful of edge pixels may differ.
    Key(VK_RIGHT, 72);
    EXPECT_LT(DiffCount(Frame(), Initial), Initial.Pixels.size() / 200);
    Key(VK_F5);
    EXPECT_TRUE(Same(Frame(), Initial)) << "F5 resets";
}

TEST_F(ViewerInput, LeftDragTurnsByFortyFiveHundredthsOfADegreePerPixel)
{
    // 100 pixels turn by 45 degrees, as nine 5-degree key steps do.
    Key(VK_RIGHT, 9);
    TImage nineRight = Frame();
    Key('R');
    EXPECT_TRUE(Same(Frame(), Initial)) << "R resets";
    LeftDrag({200, 200}, {300, 200});
    EXPECT_TRUE(Same(Frame(), nineRight)) << "drag right by 100 pixels";
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(300, 200));
    EXPECT_TRUE(Same(Frame(), Initial)) << "a double-click resets";

    Key(VK_UP, 9);
    TImage nineUp = Frame();
    Key(VK_F5);
    LeftDrag({300, 300}, {300, 200});
    EXPECT_TRUE(Same(Frame(), nineUp)) << "drag up by 100 pixels";
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(300, 200));
    EXPECT_TRUE(Same(Frame(), Initial));

    // A drag in steps ends where one long move ends.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    for (int x = 110; x <= 200; x += 10)
        Send(WM_MOUSEMOVE, MK_LBUTTON, At(x, 100));
    Send(WM_LBUTTONUP, 0, At(200, 100));
    EXPECT_TRUE(Same(Frame(), nineRight)) << "drag right in ten steps";
    Key('R');

    // Moves without a pressed button, and after the button is up, do nothing.
    Send(WM_MOUSEMOVE, 0, At(10, 10));
    Send(WM_MOUSEMOVE, 0, At(250, 60));
    EXPECT_TRUE(Same(Frame(), Initial));

    // With both buttons held the left drag wins: a turn, no shift.
    Send(WM_RBUTTONDOWN, MK_RBUTTON, At(100, 100));
    Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, At(100, 100));
    Send(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, At(200, 100));
    Send(WM_LBUTTONUP, MK_RBUTTON, At(200, 100));
    Send(WM_RBUTTONUP, 0, At(200, 100));
    EXPECT_TRUE(Same(Frame(), nineRight)) << "left and right drag together";
}

TEST_F(ViewerInput, WheelAndZoomKeys)
{
    const size_t background0 = Initial.Count(kLightBackground, 2);
    Wheel(120);
    TImage in = Frame();
    EXPECT_LT(in.Count(kLightBackground, 2), background0) << "zooming in makes the model larger";
    Key('R');
    Key(VK_ADD);
    EXPECT_TRUE(Same(Frame(), in)) << "numeric-pad plus zooms like the wheel";
    Key('R');
    Key(VK_OEM_PLUS);
    EXPECT_TRUE(Same(Frame(), in)) << "plus key zooms like the wheel";
    Key('R');

    Wheel(-120);
    TImage out = Frame();
    EXPECT_GT(out.Count(kLightBackground, 2), background0) << "zooming out makes the model smaller";
    Key('R');
    Key(VK_SUBTRACT);
    EXPECT_TRUE(Same(Frame(), out)) << "numeric-pad minus zooms like the wheel";
    Key('R');
    Key(VK_OEM_MINUS);
    EXPECT_TRUE(Same(Frame(), out)) << "minus key zooms like the wheel";
    Key('R');
    Wheel(0);
    EXPECT_TRUE(Same(Frame(), out)) << "a wheel delta of 0 zooms out";
    Key('R');
    Wheel(-1);
    EXPECT_TRUE(Same(Frame(), out)) << "the size of the delta does not matter";
    Key('R');
    Wheel(480);
    EXPECT_TRUE(Same(Frame(), in)) << "one step per message, whatever the delta";
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(10, 10));
    EXPECT_TRUE(Same(Frame(), Initial));
}

TEST_F(ViewerInput, ZoomStopsAtItsLimits)
{
    // 0.88^30 = 0.0216 is still above the lower limit 0.02, 0.88^31 = 0.0190
    // is not: from press 31 on the zoom stays at 0.02.
    Key(VK_ADD, 30);
    TImage thirty = Frame();
    Key('R');
    Key(VK_ADD, 31);
    TImage limit = Frame();
    EXPECT_TRUE(Different(limit, thirty)) << "zoom 0.0216 and 0.02 look alike; the check below would prove nothing";
    Key('R');
    Key(VK_ADD, 45);
    EXPECT_TRUE(Same(Frame(), limit)) << "45 presses zoom in further than 31";
    Key('R');
    for (int i = 0; i < 45; ++i)
        Wheel(120);
    EXPECT_TRUE(Same(Frame(), limit)) << "the wheel zooms in further than the keys";

    // At the upper limit 100 the eye is 300 radii away, beyond the far plane
    // at 200 radii: nothing is drawn. 1.14^36 > 100, so 40 presses reach the
    // limit; five steps in then give 100 x 0.88^5 = 52.8, 158 radii, and the
    // model is back. Without the limit (1.14^40 x 0.88^5 = 99.7) it would not be.
    Key('R');
    Key(VK_SUBTRACT, 40);
    TImage distant = Frame();
    EXPECT_EQ(distant.Count(kLightBackground, 2), distant.Pixels.size()) << "the model is beyond the far plane";
    Key(VK_ADD, 5);
    EXPECT_LT(Frame().Count(kLightBackground, 2), distant.Pixels.size()) << "the model is not back";
    Key('R');
    for (int i = 0; i < 40; ++i)
        Wheel(-120);
    EXPECT_EQ(Frame().Count(kLightBackground, 2), distant.Pixels.size());
    for (int i = 0; i < 5; ++i)
        Wheel(120);
    EXPECT_LT(Frame().Count(kLightBackground, 2), distant.Pixels.size()) << "the wheel zooms out further than the keys";
}

TEST_F(ViewerInput, RightDragShiftsTheModelWithTheMouse)
{
    // A shift of dx x radius x 0.006 model units at the eye distance of
    // 3 x radius, seen with a 40-degree vertical field of view over h pixels.
    const double h = Initial.Height;
    const double pixelsPerPixel = 0.006 * (h / 2) / (3 * std::tan(20 * 3.14159265358979 / 180));
    TPointF c0 = Centroid(Initial, kLightBackground);
    ASSERT_GT(c0.N, 1000u);

    RightDrag({300, 200}, {340, 212});
    TImage shifted = Frame();
    TPointF c1 = Centroid(shifted, kLightBackground);
    double ex = 40 * pixelsPerPixel, ey = 12 * pixelsPerPixel;
    EXPECT_NEAR(c1.X - c0.X, ex, 0.2 * ex + 2) << "shift to the right";
    EXPECT_NEAR(c1.Y - c0.Y, ey, 0.2 * ey + 2) << "shift downwards";
    EXPECT_NEAR(static_cast<double>(c1.N), static_cast<double>(c0.N), c0.N * 0.1) << "the model keeps its size";
    Send(WM_MOUSEMOVE, 0, At(500, 400));
    EXPECT_TRUE(Same(Frame(), shifted)) << "the right button is up: moves do nothing";

    RightDrag({340, 212}, {300, 190});
    TPointF c2 = Centroid(Frame(), kLightBackground);
    EXPECT_NEAR(c2.X - c0.X, 0, 3);
    EXPECT_NEAR(c2.Y - c0.Y, -10 * pixelsPerPixel, 0.2 * 10 * pixelsPerPixel + 2) << "shift upwards";

    Key('R');
    EXPECT_TRUE(Same(Frame(), Initial)) << "R clears the shift";
}

TEST_F(ViewerInput, EscAndDigitsGoToTheListerWindow)
{
    std::vector<TListerWindow::TKey> sent;
    LPARAM data = 0x00010001;
    for (WPARAM vk : {WPARAM(VK_ESCAPE), WPARAM('1'), WPARAM('2'), WPARAM('3'), WPARAM('4'), WPARAM('5'), WPARAM('6'),
                      WPARAM('7'), WPARAM('8')}) {
        data += 0x00010000;
        Viewer->Key(vk, data);
        sent.push_back({vk, data});
    }
    EXPECT_TRUE(Lister.Keys.empty()) << "the keys are posted, not sent";
    Pump(60);
    ASSERT_EQ(Lister.Keys.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(Lister.Keys[i].Code, sent[i].Code) << "key " << i;
        EXPECT_EQ(Lister.Keys[i].Data, sent[i].Data) << "key " << i;
    }
    EXPECT_TRUE(Same(Frame(), Initial)) << "forwarded keys leave the view alone";

    Lister.Keys.clear();
    for (WPARAM vk :
         {WPARAM('0'), WPARAM('9'), WPARAM('A'), WPARAM('Q'), WPARAM(VK_NUMPAD1), WPARAM(VK_F1), WPARAM(VK_F3),
          WPARAM(VK_TAB), WPARAM(VK_RETURN), WPARAM(VK_SPACE), WPARAM(VK_HOME), WPARAM(VK_BACK)})
        Viewer->Key(vk, 0x00200001);
    Pump(60);
    EXPECT_TRUE(Lister.Keys.empty()) << Lister.Keys.size() << " other keys reached the Lister window, first "
                                     << (Lister.Keys.empty() ? 0 : Lister.Keys[0].Code);
    EXPECT_TRUE(Same(Frame(), Initial)) << "other keys leave the view alone";

    // The same in the G-code view.
    ASSERT_EQ(Viewer->Reload(WriteTempFile(L"keys.gcode", "G1 X10 Y10 Z0.2 E1\nG1 X20 E2\n")), 0);
    Lister.Keys.clear();
    Viewer->Key(VK_ESCAPE, 0x00010001);
    Viewer->Key('8', 0x00090001);
    Viewer->Key('9', 0x000A0001);
    Pump(60);
    ASSERT_EQ(Lister.Keys.size(), 2u);
    EXPECT_EQ(Lister.Keys[0].Code, WPARAM(VK_ESCAPE));
    EXPECT_EQ(Lister.Keys[0].Data, LPARAM(0x00010001));
    EXPECT_EQ(Lister.Keys[1].Code, WPARAM('8'));
    EXPECT_EQ(Lister.Keys[1].Data, LPARAM(0x00090001));
}

TEST_F(ViewerInput, ReloadKeepsTheMeshCameraAndMode)
{
    Key(VK_RIGHT, 2);
    Key(VK_UP);
    Wheel(120);
    Key('W');
    TImage turned = Frame();
    EXPECT_TRUE(Different(turned, Initial));
    ASSERT_EQ(Viewer->Reload(Gear()), 0);
    EXPECT_TRUE(Same(Frame(), turned)) << "same file again";
    ASSERT_EQ(Viewer->Reload(Overhang()), 0);
    EXPECT_TRUE(Different(Frame(), turned));
    ASSERT_EQ(Viewer->Reload(MissingTempFile(L"gone.stl")), 0);
    ASSERT_EQ(Viewer->Reload(Gear()), 0);
    EXPECT_TRUE(Same(Frame(), turned)) << "after another model and a failed load";

    // Keys, wheel and drags in the G-code view move the G-code camera only.
    ASSERT_EQ(Viewer->Reload(WriteTempFile(L"cam.gcode", "G1 X10 Y10 Z0.2 E1\nG1 X20 E2\nG1 Z0.4\nG1 X10 E3\n")), 0);
    Key(VK_LEFT, 3);
    Key(VK_DOWN, 2);
    Key('W');
    Key(VK_ADD);
    Wheel(-120);
    LeftDrag({100, 100}, {150, 120});
    RightDrag({100, 100}, {150, 120});
    ASSERT_EQ(Viewer->Reload(Gear()), 0);
    EXPECT_TRUE(Same(Frame(), turned)) << "after input in the G-code view";
}

TEST_F(ViewerInput, FocusAndMouseCapture)
{
    EXPECT_EQ(GetFocus(), GL);
    SetFocus(Lister.Handle());
    ASSERT_EQ(GetFocus(), Lister.Handle());
    EXPECT_EQ(SendMessageW(GL, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(Lister.Handle()),
                           MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_ACTIVATE);
    EXPECT_EQ(GetFocus(), GL) << "mouse activation focuses the GL window";

    SetFocus(Lister.Handle());
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(50, 50));
    EXPECT_EQ(GetCapture(), GL) << "left button captures the mouse";
    EXPECT_EQ(GetFocus(), GL) << "left button focuses the GL window";
    Send(WM_LBUTTONUP, 0, At(50, 50));
    EXPECT_EQ(GetCapture(), nullptr);

    SetFocus(Lister.Handle());
    Send(WM_RBUTTONDOWN, MK_RBUTTON, At(50, 50));
    EXPECT_EQ(GetCapture(), GL) << "right button captures the mouse";
    Send(WM_RBUTTONUP, 0, At(50, 50));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(Same(Frame(), Initial)) << "clicks without moves change nothing";
}

}  // namespace
}  // namespace voxaro::wine
