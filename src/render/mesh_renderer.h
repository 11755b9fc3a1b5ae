// Fixed-function drawing of a TMeshData: one directional light, colour
// material, client-side vertex arrays straight from the mesh's arrays.
#pragma once

#include <cstdint>

#include "camera.h"
#include "gl_api.h"
#include "mesh_data.h"

namespace voxaro {

// Draw modes of the mesh view.
enum : uint8_t { kModeSolid = 0, kModeSolidWire = 1, kModeWire = 2 };

// Perspective set-up of the mesh view for a model radius and zoom.
struct TMeshFrustum {
    float Distance;  // eye distance: radius x 3 x zoom
    float Near;      // radius x 0.005, at least 0.001
    float Far;       // radius x 200
    double Top;      // half height at the near plane (40 degree vertical field of view)
    double Right;    // Top x width / height
};
TMeshFrustum ComputeMeshFrustum(float radius, float zoom, int width, int height);

// Colours of the mesh view, light or dark.
struct TMeshColors {
    float Background[4];
    float Model[3];
    float Wire[3];     // mode 2, opaque
    float Overlay[4];  // mode 1, blended over the surface
};
const TMeshColors& MeshColors(bool dark);

// Fixed GL state shared by the mesh and G-code views: depth, lights, colour
// material; multisampling when the context has samples. Context must be current.
void InitGLState(const TGLApi& gl, int samples);

// Sets light 0's colours and the global light model (part of InitGLState,
// reused by the thumbnails).
void SetupLights(const TGLApi& gl);

// Depth test, normalisation, smooth shading, light 0 with SetupLights and
// colour material: the part of InitGLState the model thumbnail shares.
void SetShadingState(const TGLApi& gl);

// Projection and model-view of the mesh view: eye on the +Z axis at the
// frustum's distance, the camera's pan, the light re-specified in eye space,
// then RotX about X, RotY about Y, and the model centred.
void ApplyMeshCamera(const TGLApi& gl, const TMeshData& mesh, const TMeshCamera& cam, int width, int height);

// Normal, vertex and (with HasMaterial) colour arrays over mesh.Vertices.
void EnableMeshArrays(const TGLApi& gl, const TMeshData& mesh);
// The triangle list over those arrays, indexed or in record order.
void DrawMeshTriangles(const TGLApi& gl, const TMeshData& mesh);
void DisableMeshArrays(const TGLApi& gl);

// Draws one whole frame (clear, camera, solid and/or wire pass) without
// presenting it. Draws nothing for an empty mesh or a 0-sized viewport.
void DrawMeshFrame(const TGLApi& gl, const TMeshData& mesh, const TMeshCamera& cam, uint8_t renderMode, bool dark,
                   int width, int height);

}  // namespace voxaro
