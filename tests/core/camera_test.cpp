// Camera and input rules of the mesh and G-code views.
#include "camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <utility>

#include "GCodeParser.h"

namespace voxaro {
namespace {

// Virtual-key codes used below.
constexpr uint32_t kEsc = 27;
constexpr uint32_t kLeft = 37;
constexpr uint32_t kUp = 38;
constexpr uint32_t kRight = 39;
constexpr uint32_t kDown = 40;
constexpr uint32_t kKeyR = 82;
constexpr uint32_t kKeyW = 87;
constexpr uint32_t kNumPlus = 107;
constexpr uint32_t kNumMinus = 109;
constexpr uint32_t kF5 = 116;
constexpr uint32_t kPlusKey = 187;
constexpr uint32_t kMinusKey = 189;

const double kPi = std::acos(-1.0);

void ExpectSameMesh(const TMeshCamera& a, const TMeshCamera& b)
{
    EXPECT_EQ(a.RotX, b.RotX);
    EXPECT_EQ(a.RotY, b.RotY);
    EXPECT_EQ(a.Zoom, b.Zoom);
    EXPECT_EQ(a.PanX, b.PanX);
    EXPECT_EQ(a.PanY, b.PanY);
}

void ExpectSameGCode(const TGCodeCamera& a, const TGCodeCamera& b)
{
    EXPECT_EQ(a.CamYaw, b.CamYaw);
    EXPECT_EQ(a.CamPitch, b.CamPitch);
    EXPECT_EQ(a.CamDist, b.CamDist);
    EXPECT_EQ(a.CamTargetX, b.CamTargetX);
    EXPECT_EQ(a.CamTargetY, b.CamTargetY);
    EXPECT_EQ(a.CamTargetZ, b.CamTargetZ);
    EXPECT_EQ(a.CamPanX, b.CamPanX);
    EXPECT_EQ(a.CamPanY, b.CamPanY);
}

// A mesh camera moved away from every default.
TMeshCamera MovedMeshCamera()
{
    TMeshCamera cam;
    cam.RotX = 12.5f;
    cam.RotY = -70.0f;
    cam.Zoom = 3.5f;
    cam.PanX = 4.0f;
    cam.PanY = -2.0f;
    return cam;
}

// A G-code camera with every field set to a distinct value.
TGCodeCamera MovedGCodeCamera()
{
    TGCodeCamera cam;
    cam.CamYaw = 2.0;
    cam.CamPitch = -0.3;
    cam.CamDist = 77.0;
    cam.CamTargetX = 11.0;
    cam.CamTargetY = 22.0;
    cam.CamTargetZ = -33.0;
    cam.CamPanX = 4.0;
    cam.CamPanY = -6.0;
    return cam;
}

// A parser whose bounds of all moves and print bounds are set directly.
struct TBox {
    double MinX, MaxX, MinY, MaxY, MinZ, MaxZ;
};

void SetParser(TGCodeParser& p, int32_t moves, const TBox& all, const TBox& print, bool hasPrint)
{
    p.MoveCount = moves;
    p.MinX = all.MinX;
    p.MaxX = all.MaxX;
    p.MinY = all.MinY;
    p.MaxY = all.MaxY;
    p.MinZ = all.MinZ;
    p.MaxZ = all.MaxZ;
    p.PrintMinX = print.MinX;
    p.PrintMaxX = print.MaxX;
    p.PrintMinY = print.MinY;
    p.PrintMaxY = print.MaxY;
    p.PrintMinZ = print.MinZ;
    p.PrintMaxZ = print.MaxZ;
    p.HasPrintBounds = hasPrint;
}

void PressMesh(TMeshCamera& cam, uint32_t vk, int times)
{
    uint8_t mode = 0;
    for (int i = 0; i < times; ++i)
        ASSERT_EQ(MeshKeyDown(cam, mode, vk), TKeyResult::Repaint);
}

void PressGCode(TGCodeCamera& cam, uint32_t vk, int times)
{
    for (int i = 0; i < times; ++i)
        ASSERT_EQ(GCodeKeyDown(cam, nullptr, vk), TKeyResult::Repaint);
}

// The target (x, y, z) and distance a fit gives a G-code camera.
void ExpectFit(const TGCodeCamera& cam, double x, double y, double z, double distance)
{
    EXPECT_DOUBLE_EQ(cam.CamTargetX, x);
    EXPECT_DOUBLE_EQ(cam.CamTargetY, y);
    EXPECT_DOUBLE_EQ(cam.CamTargetZ, z);
    EXPECT_DOUBLE_EQ(cam.CamDist, distance);
}

// ---------------------------------------------------------------- mesh view

TEST(MeshCamera, ResetKeysRestoreDefaultsAndKeepMode)
{
    for (uint32_t vk : {kKeyR, kF5}) {
        TMeshCamera cam = MovedMeshCamera();
        uint8_t mode = 2;
        EXPECT_EQ(MeshKeyDown(cam, mode, vk), TKeyResult::Repaint);
        EXPECT_EQ(cam.RotX, -20.0f);
        EXPECT_EQ(cam.RotY, 30.0f);
        EXPECT_EQ(cam.Zoom, 1.0f);
        EXPECT_EQ(cam.PanX, 0.0f);
        EXPECT_EQ(cam.PanY, 0.0f);
        EXPECT_EQ(mode, 2);
    }
}

TEST(MeshCamera, WCyclesRenderModeThroughThreeModes)
{
    TMeshCamera cam = MovedMeshCamera();
    uint8_t mode = 0;
    for (uint8_t expected : {1, 2, 0, 1}) {
        EXPECT_EQ(MeshKeyDown(cam, mode, kKeyW), TKeyResult::Repaint);
        EXPECT_EQ(mode, expected);
    }
    ExpectSameMesh(cam, MovedMeshCamera());
}

TEST(MeshCamera, ArrowKeysTurnByFiveDegrees)
{
    TMeshCamera cam;  // RotX -20, RotY 30
    PressMesh(cam, kLeft, 1);
    EXPECT_EQ(cam.RotY, 25.0f);
    PressMesh(cam, kRight, 2);
    EXPECT_EQ(cam.RotY, 35.0f);
    PressMesh(cam, kUp, 1);
    EXPECT_EQ(cam.RotX, -25.0f);
    PressMesh(cam, kDown, 3);
    EXPECT_EQ(cam.RotX, -10.0f);
}

TEST(MeshCamera, AnglesAreNeitherWrappedNorClamped)
{
    TMeshCamera cam;
    PressMesh(cam, kRight, 80);  // 30 + 400
    EXPECT_EQ(cam.RotY, 430.0f);
    PressMesh(cam, kUp, 40);  // -20 - 200
    EXPECT_EQ(cam.RotX, -220.0f);
}

TEST(MeshCamera, ZoomKeysScaleByFixedFactors)
{
    for (auto [vk, zoom] : {std::pair{kNumPlus, 0.88f * 0.88f},
                            {kPlusKey, 0.88f * 0.88f},
                            {kNumMinus, 1.14f * 1.14f},
                            {kMinusKey, 1.14f * 1.14f}}) {
        TMeshCamera cam;
        PressMesh(cam, vk, 2);
        EXPECT_FLOAT_EQ(cam.Zoom, zoom) << "key " << vk;
    }
}

TEST(MeshCamera, ZoomInStopsAtFloor)
{
    // 0.88^30 = 0.0216 is still above the floor; the 31st press would give
    // 0.0190 and lands on 0.02 instead.
    TMeshCamera cam;
    PressMesh(cam, kNumPlus, 30);
    EXPECT_NEAR(cam.Zoom, 0.021601, 1e-5);
    PressMesh(cam, kNumPlus, 1);
    EXPECT_EQ(cam.Zoom, 0.02f);
    PressMesh(cam, kPlusKey, 30);
    EXPECT_EQ(cam.Zoom, 0.02f);
}

TEST(MeshCamera, ZoomOutStopsAtCeiling)
{
    // 1.14^35 = 98.10 is below the ceiling; 1.14^36 = 111.8 is cut to 100.
    TMeshCamera cam;
    PressMesh(cam, kNumMinus, 35);
    EXPECT_NEAR(cam.Zoom, 98.100, 1e-3);
    PressMesh(cam, kNumMinus, 1);
    EXPECT_EQ(cam.Zoom, 100.0f);
    PressMesh(cam, kMinusKey, 30);
    EXPECT_EQ(cam.Zoom, 100.0f);
}

TEST(MeshCamera, WheelZoomsInOnPositiveDeltaOnly)
{
    for (auto [delta, zoom] : {std::pair{120, 0.88f}, {-120, 1.14f}, {0, 1.14f}}) {
        TMeshCamera cam;
        MeshWheel(cam, delta);
        EXPECT_FLOAT_EQ(cam.Zoom, zoom) << "delta " << delta;
    }
}

TEST(MeshCamera, WheelKeepsZoomWithinLimits)
{
    TMeshCamera cam;
    for (int i = 0; i < 60; ++i)
        MeshWheel(cam, 120);
    EXPECT_EQ(cam.Zoom, 0.02f);
    for (int i = 0; i < 80; ++i)
        MeshWheel(cam, -120);
    EXPECT_EQ(cam.Zoom, 100.0f);
}

TEST(MeshCamera, LeftDragTurnsByPixels)
{
    TMeshCamera cam;
    TDragState drag{true, false, 10, 20};
    EXPECT_TRUE(MeshMouseMove(cam, drag, 30, 10, nullptr));  // dx 20, dy -10
    EXPECT_FLOAT_EQ(cam.RotY, 39.0f);                        // 30 + 20 * 0.45
    EXPECT_FLOAT_EQ(cam.RotX, -24.5f);                       // -20 - 10 * 0.45
    EXPECT_EQ(drag.LastX, 30);
    EXPECT_EQ(drag.LastY, 10);
}

TEST(MeshCamera, RightDragPansByModelRadius)
{
    TMeshCamera cam;
    TDragState drag{false, true, 0, 0};
    const float radius = 50.0f;
    EXPECT_TRUE(MeshMouseMove(cam, drag, 10, 4, &radius));
    EXPECT_FLOAT_EQ(cam.PanX, 3.0f);   // 10 * 50 * 0.006
    EXPECT_FLOAT_EQ(cam.PanY, -1.2f);  // -(4 * 50 * 0.006): screen down is model down
    EXPECT_EQ(cam.RotX, -20.0f);
    EXPECT_EQ(cam.RotY, 30.0f);
}

TEST(MeshCamera, RightDragWithoutMeshChangesNothing)
{
    TMeshCamera cam;
    TDragState drag{false, true, 0, 0};
    EXPECT_FALSE(MeshMouseMove(cam, drag, 10, 4, nullptr));
    ExpectSameMesh(cam, TMeshCamera{});
    EXPECT_EQ(drag.LastX, 10);
    EXPECT_EQ(drag.LastY, 4);
}

TEST(MeshCamera, LeftDragWinsOverRightDrag)
{
    TMeshCamera cam;
    TDragState drag{true, true, 0, 0};
    const float radius = 50.0f;
    EXPECT_TRUE(MeshMouseMove(cam, drag, 10, 0, &radius));
    EXPECT_FLOAT_EQ(cam.RotY, 34.5f);
    EXPECT_EQ(cam.PanX, 0.0f);
    EXPECT_EQ(cam.PanY, 0.0f);
}

// ------------------------------------------------------------- G-code view

TEST(GCodeCamera, FitPrefersPrintBounds)
{
    TGCodeParser p;
    SetParser(p, 10, {-100, 100, -100, 100, 0, 200}, {10, 50, 20, 80, 0, 12}, true);
    TGCodeCamera cam = MovedGCodeCamera();
    FitGCodeCamera(cam, &p);
    // The target is (x centre, z centre, minus y centre): z is scene up. The
    // distance is 2.5 * dy 60.
    ExpectFit(cam, 30.0, 6.0, -50.0, 150.0);
    EXPECT_EQ(cam.CamPanX, 0.0);
    EXPECT_EQ(cam.CamPanY, 0.0);
    EXPECT_EQ(cam.CamYaw, 2.0);
    EXPECT_EQ(cam.CamPitch, -0.3);
}

TEST(GCodeCamera, FitFallsBackToBoundsOfAllMoves)
{
    TGCodeParser p;
    SetParser(p, 10, {-10, 30, 0, 20, 0.2, 100.2}, {1, 2, 1, 2, 1, 2}, false);
    TGCodeCamera cam = MovedGCodeCamera();
    FitGCodeCamera(cam, &p);
    ExpectFit(cam, 10.0, 50.2, -10.0, 250.0);  // 2.5 * dz 100
}

TEST(GCodeCamera, FitTakesLargestExtent)
{
    TGCodeParser p;
    SetParser(p, 1, {0, 44, 0, 0, 0, 0}, {}, false);
    TGCodeCamera cam;
    FitGCodeCamera(cam, &p);
    EXPECT_DOUBLE_EQ(cam.CamDist, 110.0);  // dx 44
}

TEST(GCodeCamera, FitUsesMinimumExtents)
{
    TGCodeParser p;
    SetParser(p, 3, {100, 101, 50, 52, 0.2, 0.4}, {}, false);
    TGCodeCamera cam;
    FitGCodeCamera(cam, &p);
    ExpectFit(cam, 100.5, 0.3, -51.0, 12.5);  // extents raised to 5, 5, 1
}

TEST(GCodeCamera, FitOfAnAbsurdToolpathStaysFinite)
{
    const double inf = std::numeric_limits<double>::infinity();
    TGCodeParser p;
    SetParser(p, 3, {10, 1e20, 10, 10, 0.2, 0.2}, {10, 1e20, 10, 10, 0.2, 0.2}, true);
    TGCodeCamera cam;
    FitGCodeCamera(cam, &p);
    EXPECT_EQ(cam.CamDist, kGCodeMaxDistance);
    SetParser(p, 3, {-inf, inf, 0, 1, 0, 1}, {}, false);
    FitGCodeCamera(cam, &p);
    EXPECT_EQ(cam.CamDist, kGCodeMaxDistance);
}

TEST(GCodeCamera, FitWithoutMovesChangesNothing)
{
    TGCodeParser p;
    SetParser(p, 0, {0, 50, 0, 50, 0, 50}, {0, 50, 0, 50, 0, 50}, true);
    TGCodeCamera cam = MovedGCodeCamera();
    FitGCodeCamera(cam, &p);
    ExpectSameGCode(cam, MovedGCodeCamera());
    FitGCodeCamera(cam, nullptr);
    ExpectSameGCode(cam, MovedGCodeCamera());
}

TEST(GCodeCamera, ResetKeysFitAndRestoreExactAngles)
{
    TGCodeParser p;
    SetParser(p, 5, {0, 20, 0, 40, 0, 10}, {}, false);
    for (uint32_t vk : {kKeyR, kF5}) {
        TGCodeCamera cam = MovedGCodeCamera();
        EXPECT_EQ(GCodeKeyDown(cam, &p, vk), TKeyResult::Repaint);
        EXPECT_EQ(cam.CamYaw, kPi / 4);
        EXPECT_EQ(cam.CamPitch, kPi / 6);
        EXPECT_NE(cam.CamYaw, 0.7854);
        EXPECT_NE(cam.CamPitch, 0.5236);
        ExpectFit(cam, 10.0, 5.0, -20.0, 100.0);
        EXPECT_EQ(cam.CamPanX, 0.0);
        EXPECT_EQ(cam.CamPanY, 0.0);
    }
}

TEST(GCodeCamera, ResetWithoutParserResetsAnglesOnly)
{
    TGCodeCamera cam = MovedGCodeCamera();
    EXPECT_EQ(GCodeKeyDown(cam, nullptr, kKeyR), TKeyResult::Repaint);
    EXPECT_EQ(cam.CamYaw, kPi / 4);
    EXPECT_EQ(cam.CamPitch, kPi / 6);
    EXPECT_EQ(cam.CamDist, 77.0);
    EXPECT_EQ(cam.CamTargetX, 11.0);
    EXPECT_EQ(cam.CamPanX, 4.0);
}

TEST(GCodeCamera, PresetsSetAnglesAndKeepDistanceAndTarget)
{
    struct Case {
        void (*Preset)(TGCodeCamera&);
        double Yaw, Pitch;
    };
    const Case cases[] = {
        {GCodePresetTop, 0.0, 89.9 * kPi / 180.0},
        {GCodePresetFront, 0.0, 0.0},
        {GCodePresetSide, kPi / 2, 0.0},
    };
    for (const Case& c : cases) {
        TGCodeCamera cam = MovedGCodeCamera();
        c.Preset(cam);
        EXPECT_DOUBLE_EQ(cam.CamYaw, c.Yaw);
        EXPECT_DOUBLE_EQ(cam.CamPitch, c.Pitch);
        EXPECT_EQ(cam.CamPanX, 0.0);
        EXPECT_EQ(cam.CamPanY, 0.0);
        EXPECT_EQ(cam.CamDist, 77.0);
        EXPECT_EQ(cam.CamTargetX, 11.0);
        EXPECT_EQ(cam.CamTargetY, 22.0);
        EXPECT_EQ(cam.CamTargetZ, -33.0);
    }
}

TEST(GCodeCamera, ArrowKeysTurnByStep)
{
    TGCodeCamera cam;
    cam.CamYaw = 1.0;
    cam.CamPitch = 0.2;
    PressGCode(cam, kLeft, 1);
    EXPECT_DOUBLE_EQ(cam.CamYaw, 1.0 - 0.0873);
    PressGCode(cam, kRight, 3);
    EXPECT_DOUBLE_EQ(cam.CamYaw, 1.0 + 2 * 0.0873);
    PressGCode(cam, kUp, 1);
    EXPECT_DOUBLE_EQ(cam.CamPitch, 0.2 - 0.0873);
    PressGCode(cam, kDown, 2);
    EXPECT_DOUBLE_EQ(cam.CamPitch, 0.2 + 0.0873);
}

TEST(GCodeCamera, KeyboardPitchStopsAt155)
{
    TGCodeCamera cam;
    PressGCode(cam, kDown, 30);
    EXPECT_EQ(cam.CamPitch, 1.55);
    PressGCode(cam, kUp, 60);
    EXPECT_EQ(cam.CamPitch, -1.55);
    GCodePresetTop(cam);  // pitch 89.9 degrees lies above the key limit
    PressGCode(cam, kDown, 1);
    EXPECT_EQ(cam.CamPitch, 1.55);
}

TEST(GCodeCamera, YawIsNotWrapped)
{
    TGCodeCamera cam;
    cam.CamYaw = 0.0;
    PressGCode(cam, kRight, 100);
    EXPECT_NEAR(cam.CamYaw, 8.73, 1e-9);
}

TEST(GCodeCamera, WKeyDoesNothing)
{
    TGCodeCamera cam = MovedGCodeCamera();
    EXPECT_EQ(GCodeKeyDown(cam, nullptr, kKeyW), TKeyResult::None);
    ExpectSameGCode(cam, MovedGCodeCamera());
}

TEST(GCodeCamera, ZoomKeysScaleDistance)
{
    for (auto [vk, distance] :
         {std::pair{kNumPlus, 255.0}, {kPlusKey, 255.0}, {kNumMinus, 354.0}, {kMinusKey, 354.0}}) {
        TGCodeCamera cam;
        PressGCode(cam, vk, 1);
        EXPECT_DOUBLE_EQ(cam.CamDist, distance) << "key " << vk;
    }
}

TEST(GCodeCamera, DistanceHasFloorAndAFarCeiling)
{
    // 300 * 0.85^49 = 0.104; the 50th press would go below 0.1.
    TGCodeCamera cam;
    PressGCode(cam, kNumPlus, 49);
    EXPECT_NEAR(cam.CamDist, 0.104388, 1e-6);
    PressGCode(cam, kNumPlus, 1);
    EXPECT_EQ(cam.CamDist, 0.1);
    PressGCode(cam, kPlusKey, 10);
    EXPECT_EQ(cam.CamDist, 0.1);

    cam.CamDist = 1000.0;
    PressGCode(cam, kNumMinus, 20);  // 1000 * 1.18^20 = 27393
    EXPECT_NEAR(cam.CamDist / 27393.0, 1.0, 1e-4);
    // About 4,250 presses used to reach infinity, where zooming in could not
    // bring the view back.
    EXPECT_GE(kGCodeMaxDistance, 1e6) << "far beyond a 100 m bed fitted at 250 m";
    PressGCode(cam, kMinusKey, 5000);
    EXPECT_EQ(cam.CamDist, kGCodeMaxDistance);
    PressGCode(cam, kNumPlus, 1);
    EXPECT_EQ(cam.CamDist, kGCodeMaxDistance * 0.85);
}

TEST(GCodeCamera, WheelZoomsInOnPositiveDeltaOnly)
{
    for (auto [delta, distance] : {std::pair{120, 255.0}, {-240, 354.0}, {0, 354.0}}) {
        TGCodeCamera cam;
        GCodeWheel(cam, delta);
        EXPECT_DOUBLE_EQ(cam.CamDist, distance) << "delta " << delta;
    }
}

TEST(GCodeCamera, WheelHasFloorAndTheSameCeiling)
{
    TGCodeCamera cam;
    for (int i = 0; i < 60; ++i)
        GCodeWheel(cam, 120);
    EXPECT_EQ(cam.CamDist, 0.1);
    cam.CamDist = 1000.0;
    for (int i = 0; i < 20; ++i)
        GCodeWheel(cam, -120);
    EXPECT_NEAR(cam.CamDist / 27393.0, 1.0, 1e-4);
    for (int i = 0; i < 5000; ++i)
        GCodeWheel(cam, -120);
    EXPECT_EQ(cam.CamDist, kGCodeMaxDistance);
    GCodeWheel(cam, 120);
    EXPECT_EQ(cam.CamDist, kGCodeMaxDistance * 0.85);
}

TEST(GCodeCamera, LeftDragTurnsByPixels)
{
    TGCodeCamera cam;
    cam.CamYaw = 1.0;
    cam.CamPitch = 0.2;
    TDragState drag{true, false, 100, 100};
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 120, 90, 600));  // dx 20, dy -10
    EXPECT_DOUBLE_EQ(cam.CamYaw, 1.1);
    EXPECT_DOUBLE_EQ(cam.CamPitch, 0.15);
    EXPECT_EQ(cam.CamPanX, 0.0);
}

TEST(GCodeCamera, MousePitchStopsAt15533)
{
    TGCodeCamera cam;
    TDragState drag{true, false, 0, 0};
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 0, 1000, 600));
    EXPECT_EQ(cam.CamPitch, 1.5533);
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 0, -1000, 600));
    EXPECT_EQ(cam.CamPitch, -1.5533);
}

TEST(GCodeCamera, RightDragPansByDistancePerPixel)
{
    TGCodeCamera cam;  // CamDist 300
    TDragState drag{false, true, 50, 50};
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 60, 54, 600));  // 0.5 per pixel
    EXPECT_DOUBLE_EQ(cam.CamPanX, -5.0);
    EXPECT_DOUBLE_EQ(cam.CamPanY, 2.0);
    EXPECT_EQ(cam.CamYaw, 0.7854);
}

TEST(GCodeCamera, RightDragInZeroHighWindowUsesHeightOne)
{
    for (int32_t height : {0, -7}) {
        TGCodeCamera cam;  // CamDist 300
        TDragState drag{false, true, 0, 0};
        EXPECT_TRUE(GCodeMouseMove(cam, drag, 1, -2, height));
        EXPECT_DOUBLE_EQ(cam.CamPanX, -300.0);
        EXPECT_DOUBLE_EQ(cam.CamPanY, -600.0);
    }
}

TEST(GCodeCamera, LeftDragWinsOverRightDrag)
{
    TGCodeCamera cam;
    TDragState drag{true, true, 0, 0};
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 10, 0, 600));
    EXPECT_DOUBLE_EQ(cam.CamYaw, 0.7854 + 0.05);
    EXPECT_EQ(cam.CamPanX, 0.0);
    EXPECT_EQ(cam.CamPanY, 0.0);
}

TEST(GCodeCamera, DragWithoutMovementAsksNoRepaint)
{
    TGCodeCamera cam;
    TDragState drag{true, true, 40, 30};
    EXPECT_FALSE(GCodeMouseMove(cam, drag, 40, 30, 600));
    ExpectSameGCode(cam, TGCodeCamera{});
}

// ------------------------------------------------------- shared key rules

// Each key gets the answer from both views and leaves both cameras, and the
// mesh mode, as they were.
void ExpectKeysLeaveBothViews(std::initializer_list<uint32_t> keys, TKeyResult answer)
{
    for (uint32_t vk : keys) {
        TMeshCamera mesh = MovedMeshCamera();
        uint8_t mode = 1;
        EXPECT_EQ(MeshKeyDown(mesh, mode, vk), answer) << vk;
        ExpectSameMesh(mesh, MovedMeshCamera());
        EXPECT_EQ(mode, 1);

        TGCodeCamera gcode = MovedGCodeCamera();
        EXPECT_EQ(GCodeKeyDown(gcode, nullptr, vk), answer) << vk;
        ExpectSameGCode(gcode, MovedGCodeCamera());
    }
}

TEST(CameraInput, EscAndDigitsAreForwardedWithoutViewChange)
{
    ExpectKeysLeaveBothViews({27u, 49u, 50u, 53u, 56u}, TKeyResult::ForwardToLister);
}

TEST(CameraInput, KeysOutsideTheTableDoNothing)
{
    // '0', '9', space, 'A', F4, shift, numeric-pad 5.
    ExpectKeysLeaveBothViews({48u, 57u, 32u, 65u, 115u, 16u, 101u}, TKeyResult::None);
}

TEST(CameraInput, KeyCodeIsReadFromLowWord)
{
    TMeshCamera mesh;
    uint8_t mode = 0;
    EXPECT_EQ(MeshKeyDown(mesh, mode, 0x10000u | kEsc), TKeyResult::ForwardToLister);
    TGCodeCamera gcode;
    EXPECT_EQ(GCodeKeyDown(gcode, nullptr, 0x10000u | kLeft), TKeyResult::Repaint);
    EXPECT_DOUBLE_EQ(gcode.CamYaw, 0.7854 - 0.0873);
}

TEST(CameraInput, MoveWithoutButtonTracksPositionOnly)
{
    TMeshCamera mesh;
    TDragState drag{false, false, 5, 5};
    const float radius = 10.0f;
    EXPECT_FALSE(MeshMouseMove(mesh, drag, -40, 300, &radius));
    EXPECT_EQ(drag.LastX, -40);
    EXPECT_EQ(drag.LastY, 300);
    ExpectSameMesh(mesh, TMeshCamera{});

    TGCodeCamera gcode;
    EXPECT_FALSE(GCodeMouseMove(gcode, drag, 70, -8, 600));
    EXPECT_EQ(drag.LastX, 70);
    EXPECT_EQ(drag.LastY, -8);
    ExpectSameGCode(gcode, TGCodeCamera{});
}

TEST(CameraInput, DragStepsFromLastPosition)
{
    // Each move measures from the position of the move before it.
    TGCodeCamera cam;
    cam.CamYaw = 0.0;
    TDragState drag{false, false, 0, 0};
    GCodeMouseMove(cam, drag, 100, 0, 600);  // no button: origin moves to 100
    drag.LeftDrag = true;
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 110, 0, 600));
    EXPECT_DOUBLE_EQ(cam.CamYaw, 0.05);
    EXPECT_TRUE(GCodeMouseMove(cam, drag, 100, 0, 600));
    EXPECT_DOUBLE_EQ(cam.CamYaw, 0.0);
}

}  // namespace
}  // namespace voxaro
