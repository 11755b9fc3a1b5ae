// The viewer's two cameras and every keyboard and mouse rule that moves them,
// as plain functions of plain state. The GL window procedure only unpacks
// messages and calls these.
#pragma once

#include <cstdint>

namespace voxaro {

class TGCodeParser;

// Euler-angle camera of the mesh view (degrees, 32-bit floats).
struct TMeshCamera {
    float RotX = -20.0f;
    float RotY = 30.0f;
    float Zoom = 1.0f;  // multiplies the eye distance; kept in [0.02, 100] by zooming
    float PanX = 0.0f;  // model units
    float PanY = 0.0f;
};

// Farthest the G-code camera goes from its target (scene units, mm): 10 km,
// far beyond any real print, where the whole view is long past its far plane.
// Zooming out and fitting stop there, so the distance stays finite.
constexpr double kGCodeMaxDistance = 1e7;

// Orbit camera of the G-code view (radians, scene units). Scene axes: a G-code
// point (X, Y, Z) is drawn at (X, Z, -Y).
struct TGCodeCamera {
    double CamYaw = 0.7854;
    double CamPitch = 0.5236;
    double CamDist = 300.0;
    double CamTargetX = 0.0, CamTargetY = 0.0, CamTargetZ = 0.0;
    double CamPanX = 0.0, CamPanY = 0.0;
};

// Mouse drag state of the GL window.
struct TDragState {
    bool LeftDrag = false;
    bool RightDrag = false;
    int32_t LastX = 0;
    int32_t LastY = 0;
};

// What the window has to do after a key was handled.
enum class TKeyResult : uint8_t {
    None,             // nothing happened, no repaint
    Repaint,          // the camera or mode changed
    ForwardToLister,  // post the key-down message to the Lister window
};

// Mesh camera to its defaults; the draw mode is kept.
void ResetView(TMeshCamera& cam);
// Draw mode 0 -> 1 -> 2 -> 0.
uint8_t NextRenderMode(uint8_t mode);

// Target and distance from the parser's (print) bounds, pan cleared, angles
// kept; the distance at most kGCodeMaxDistance. Does nothing without moves.
void FitGCodeCamera(TGCodeCamera& cam, const TGCodeParser* parser);
// Yaw pi/4, pitch pi/6.
void ResetGCodeAngles(TGCodeCamera& cam);
// Panel presets: angles set, pan cleared, target and distance kept.
void GCodePresetTop(TGCodeCamera& cam);
void GCodePresetFront(TGCodeCamera& cam);
void GCodePresetSide(TGCodeCamera& cam);

// Key-down with virtual-key code vk.
TKeyResult MeshKeyDown(TMeshCamera& cam, uint8_t& renderMode, uint32_t vk);
TKeyResult GCodeKeyDown(TGCodeCamera& cam, const TGCodeParser* parser, uint32_t vk);

// Mouse move to (x, y); true when the view has to be repainted.
// meshRadius is null when the viewer holds no mesh.
bool MeshMouseMove(TMeshCamera& cam, TDragState& drag, int32_t x, int32_t y, const float* meshRadius);
bool GCodeMouseMove(TGCodeCamera& cam, TDragState& drag, int32_t x, int32_t y, int32_t clientHeight);

// Wheel with the signed delta; a delta of 0 or less zooms out.
void MeshWheel(TMeshCamera& cam, int32_t delta);
void GCodeWheel(TGCodeCamera& cam, int32_t delta);

}  // namespace voxaro
