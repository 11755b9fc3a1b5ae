// Thumbnails for the host's thumbnail view: one fixed-angle picture of a
// model or a toolpath, drawn into whatever context is current.
#pragma once

#include "GCodeParser.h"
#include "camera.h"
#include "gl_api.h"
#include "mesh_data.h"

namespace voxaro {

// Sets the thumbnail's fixed state (depth, lights as the viewer's, colour
// material, multisampling) and draws the model once, filled, from the
// viewer's default angles: background (0.82, 0.84, 0.88), vertex colours
// when the model has them, else (0.42, 0.54, 0.66). Finishes GL.
void DrawMeshThumbnail(const TGLApi& gl, const TMeshData& mesh, int width, int height);

// Sets the G-code thumbnail's state and draws the floor grid and the printed
// moves (top faces of 0.4 mm ribbons, arcs as chords) from yaw pi/4, pitch
// pi/6, fitted to the print bounds. Travel is never drawn. Flushes GL.
// False, drawing nothing, without moves or with a size that is not positive.
bool DrawGCodeThumbnail(const TGLApi& gl, const TGCodeParser& parser, bool colorByLayer, int width, int height);
// The same picture up to its moves: state, fitted camera, light, grid, and
// lighting on. Returns the camera.
TGCodeCamera BeginGCodeThumbnail(const TGLApi& gl, const TGCodeParser& parser, int width, int height);

}  // namespace voxaro
