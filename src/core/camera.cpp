// Camera state changes of the mesh and G-code views. All arithmetic is done in
// double; the mesh camera's fields are stored back as float.
#include "camera.h"

#include <algorithm>

#include "GCodeParser.h"
#include "geom/vec3.h"

namespace voxaro {

namespace {

// Virtual-key codes of the keys the GL window handles.
constexpr uint32_t kVkEscape = 27;
constexpr uint32_t kVkLeft = 37;
constexpr uint32_t kVkUp = 38;
constexpr uint32_t kVkRight = 39;
constexpr uint32_t kVkDown = 40;
constexpr uint32_t kVkDigit1 = 49;
constexpr uint32_t kVkDigit8 = 56;
constexpr uint32_t kVkR = 82;
constexpr uint32_t kVkW = 87;
constexpr uint32_t kVkAdd = 107;       // numeric pad plus
constexpr uint32_t kVkSubtract = 109;  // numeric pad minus
constexpr uint32_t kVkF5 = 116;
constexpr uint32_t kVkOemPlus = 187;   // plus/equals key
constexpr uint32_t kVkOemMinus = 189;  // minus key

// Mesh camera steps.
constexpr double kMeshKeyRotStep = 5.0;     // degrees per arrow key
constexpr double kMeshDragRot = 0.45;       // degrees per pixel
constexpr double kMeshPanPerPixel = 0.006;  // model radii per pixel
constexpr double kMeshZoomIn = 0.88;
constexpr double kMeshZoomOut = 1.14;
constexpr double kMeshZoomMin = 0.02;
constexpr double kMeshZoomMax = 100.0;

// G-code camera steps.
constexpr double kGCodeKeyAngleStep = 0.0873;  // radians per arrow key
constexpr double kGCodeKeyPitchLimit = 1.55;
constexpr double kGCodeDragAngle = 0.005;  // radians per pixel
constexpr double kGCodeDragPitchLimit = 1.5533;
constexpr double kGCodeZoomIn = 0.85;
constexpr double kGCodeZoomOut = 1.18;
constexpr double kGCodeDistMin = 0.1;
constexpr double kGCodeTopPitch = 1.5690509975429023;  // 89.9 degrees

// Smallest extents used when fitting, so flat or tiny prints stay visible.
constexpr double kFitMinExtentXY = 5.0;
constexpr double kFitMinExtentZ = 1.0;
constexpr double kFitDistFactor = 2.5;

bool IsForwardedKey(uint32_t vk)
{
    return vk == kVkEscape || (vk >= kVkDigit1 && vk <= kVkDigit8);
}

bool IsZoomInKey(uint32_t vk)
{
    return vk == kVkAdd || vk == kVkOemPlus;
}
bool IsZoomOutKey(uint32_t vk)
{
    return vk == kVkSubtract || vk == kVkOemMinus;
}
bool IsResetKey(uint32_t vk)
{
    return vk == kVkR || vk == kVkF5;
}

// Adds delta to a float field, computing in double.
void AddTo(float& field, double delta)
{
    field = static_cast<float>(static_cast<double>(field) + delta);
}

void MeshZoomIn(TMeshCamera& cam)
{
    cam.Zoom = static_cast<float>(std::max(cam.Zoom * kMeshZoomIn, kMeshZoomMin));
}

void MeshZoomOut(TMeshCamera& cam)
{
    cam.Zoom = static_cast<float>(std::min(cam.Zoom * kMeshZoomOut, kMeshZoomMax));
}

void GCodeZoomIn(TGCodeCamera& cam)
{
    cam.CamDist = std::max(cam.CamDist * kGCodeZoomIn, kGCodeDistMin);
}

void GCodeZoomOut(TGCodeCamera& cam)
{
    cam.CamDist = std::min(cam.CamDist * kGCodeZoomOut, kGCodeMaxDistance);
}

void GCodeAddPitch(TGCodeCamera& cam, double delta, double limit)
{
    cam.CamPitch = std::clamp(cam.CamPitch + delta, -limit, limit);
}

void SetGCodeAngles(TGCodeCamera& cam, double yaw, double pitch)
{
    cam.CamYaw = yaw;
    cam.CamPitch = pitch;
    cam.CamPanX = 0.0;
    cam.CamPanY = 0.0;
}

// Extents of the bounds the fit uses.
struct TFitBounds {
    double MinX, MaxX, MinY, MaxY, MinZ, MaxZ;
};

TFitBounds FitBoundsOf(const TGCodeParser& p)
{
    if (p.HasPrintBounds) return {p.PrintMinX, p.PrintMaxX, p.PrintMinY, p.PrintMaxY, p.PrintMinZ, p.PrintMaxZ};
    return {p.MinX, p.MaxX, p.MinY, p.MaxY, p.MinZ, p.MaxZ};
}

// Extent, replaced by the minimum unless it is greater.
double AtLeast(double extent, double minimum)
{
    return extent > minimum ? extent : minimum;
}

// Arrow key on the mesh view: rotation in degrees.
bool MeshArrowKey(TMeshCamera& cam, uint32_t vk)
{
    switch (vk) {
    case kVkLeft: AddTo(cam.RotY, -kMeshKeyRotStep); return true;
    case kVkRight: AddTo(cam.RotY, kMeshKeyRotStep); return true;
    case kVkUp: AddTo(cam.RotX, -kMeshKeyRotStep); return true;
    case kVkDown: AddTo(cam.RotX, kMeshKeyRotStep); return true;
    default: return false;
    }
}

// Arrow key on the G-code view: yaw free, pitch clamped.
bool GCodeArrowKey(TGCodeCamera& cam, uint32_t vk)
{
    switch (vk) {
    case kVkLeft: cam.CamYaw -= kGCodeKeyAngleStep; return true;
    case kVkRight: cam.CamYaw += kGCodeKeyAngleStep; return true;
    case kVkUp: GCodeAddPitch(cam, -kGCodeKeyAngleStep, kGCodeKeyPitchLimit); return true;
    case kVkDown: GCodeAddPitch(cam, kGCodeKeyAngleStep, kGCodeKeyPitchLimit); return true;
    default: return false;
    }
}

// Moves the drag origin to (x, y) and returns the step from the old one.
void TakeStep(TDragState& drag, int32_t x, int32_t y, double& dx, double& dy)
{
    dx = static_cast<double>(x) - drag.LastX;
    dy = static_cast<double>(y) - drag.LastY;
    drag.LastX = x;
    drag.LastY = y;
}

}  // namespace

void ResetView(TMeshCamera& cam)
{
    cam = TMeshCamera{};
}

uint8_t NextRenderMode(uint8_t mode)
{
    return mode >= 2 ? 0 : static_cast<uint8_t>(mode + 1);
}

void FitGCodeCamera(TGCodeCamera& cam, const TGCodeParser* parser)
{
    if (parser == nullptr || parser->MoveCount == 0) return;
    const TFitBounds b = FitBoundsOf(*parser);
    cam.CamTargetX = (b.MinX + b.MaxX) / 2.0;
    cam.CamTargetY = (b.MinZ + b.MaxZ) / 2.0;
    cam.CamTargetZ = -(b.MinY + b.MaxY) / 2.0;
    const double dx = AtLeast(b.MaxX - b.MinX, kFitMinExtentXY);
    const double dy = AtLeast(b.MaxY - b.MinY, kFitMinExtentXY);
    const double dz = AtLeast(b.MaxZ - b.MinZ, kFitMinExtentZ);
    cam.CamDist = std::min(kFitDistFactor * std::max({dx, dy, dz}), kGCodeMaxDistance);
    cam.CamPanX = 0.0;
    cam.CamPanY = 0.0;
}

void ResetGCodeAngles(TGCodeCamera& cam)
{
    cam.CamYaw = kPi / 4.0;
    cam.CamPitch = kPi / 6.0;
}

void GCodePresetTop(TGCodeCamera& cam)
{
    SetGCodeAngles(cam, 0.0, kGCodeTopPitch);
}
void GCodePresetFront(TGCodeCamera& cam)
{
    SetGCodeAngles(cam, 0.0, 0.0);
}
void GCodePresetSide(TGCodeCamera& cam)
{
    SetGCodeAngles(cam, kPi / 2.0, 0.0);
}

TKeyResult MeshKeyDown(TMeshCamera& cam, uint8_t& renderMode, uint32_t vk)
{
    vk &= 0xFFFFu;
    if (IsForwardedKey(vk)) return TKeyResult::ForwardToLister;
    if (MeshArrowKey(cam, vk)) return TKeyResult::Repaint;
    if (IsResetKey(vk))
        ResetView(cam);
    else if (vk == kVkW)
        renderMode = NextRenderMode(renderMode);
    else if (IsZoomInKey(vk))
        MeshZoomIn(cam);
    else if (IsZoomOutKey(vk))
        MeshZoomOut(cam);
    else
        return TKeyResult::None;
    return TKeyResult::Repaint;
}

TKeyResult GCodeKeyDown(TGCodeCamera& cam, const TGCodeParser* parser, uint32_t vk)
{
    vk &= 0xFFFFu;
    if (IsForwardedKey(vk)) return TKeyResult::ForwardToLister;
    if (GCodeArrowKey(cam, vk)) return TKeyResult::Repaint;
    if (IsResetKey(vk)) {
        FitGCodeCamera(cam, parser);
        ResetGCodeAngles(cam);
    } else if (IsZoomInKey(vk)) {
        GCodeZoomIn(cam);
    } else if (IsZoomOutKey(vk)) {
        GCodeZoomOut(cam);
    } else {
        return TKeyResult::None;
    }
    return TKeyResult::Repaint;
}

bool MeshMouseMove(TMeshCamera& cam, TDragState& drag, int32_t x, int32_t y, const float* meshRadius)
{
    double dx, dy;
    TakeStep(drag, x, y, dx, dy);
    if (drag.LeftDrag) {
        AddTo(cam.RotY, dx * kMeshDragRot);
        AddTo(cam.RotX, dy * kMeshDragRot);
        return true;
    }
    if (drag.RightDrag && meshRadius != nullptr) {
        const double radius = *meshRadius;
        AddTo(cam.PanX, dx * radius * kMeshPanPerPixel);
        AddTo(cam.PanY, -(dy * radius * kMeshPanPerPixel));
        return true;
    }
    return false;
}

bool GCodeMouseMove(TGCodeCamera& cam, TDragState& drag, int32_t x, int32_t y, int32_t clientHeight)
{
    double dx, dy;
    TakeStep(drag, x, y, dx, dy);
    const bool moved = dx != 0.0 || dy != 0.0;
    if (drag.LeftDrag && moved) {
        cam.CamYaw += dx * kGCodeDragAngle;
        GCodeAddPitch(cam, dy * kGCodeDragAngle, kGCodeDragPitchLimit);
        return true;
    }
    if (drag.RightDrag && moved) {
        const double s = cam.CamDist / std::max(clientHeight, 1);
        cam.CamPanX -= s * dx;
        cam.CamPanY += s * dy;
        return true;
    }
    return false;
}

void MeshWheel(TMeshCamera& cam, int32_t delta)
{
    const double factor = delta <= 0 ? kMeshZoomOut : kMeshZoomIn;
    const double zoom = std::min(cam.Zoom * factor, kMeshZoomMax);
    cam.Zoom = static_cast<float>(std::max(zoom, kMeshZoomMin));
}

void GCodeWheel(TGCodeCamera& cam, int32_t delta)
{
    if (delta <= 0)
        GCodeZoomOut(cam);
    else
        GCodeZoomIn(cam);
}

}  // namespace voxaro
