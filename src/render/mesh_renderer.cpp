#include "mesh_renderer.h"

#include <cmath>

namespace voxaro {

namespace {

constexpr float kGlobalAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
constexpr float kLightAmbient[4] = {0.05f, 0.05f, 0.05f, 1.0f};
constexpr float kLightDiffuse[4] = {0.85f, 0.85f, 0.85f, 1.0f};
constexpr float kLightSpecular[4] = {0.45f, 0.45f, 0.45f, 1.0f};
// Directional light from the upper right front of the viewer.
constexpr float kLightPosition[4] = {0.6f, 1.2f, 2.0f, 0.0f};

constexpr TMeshColors kLight = {
    {0.80f, 0.82f, 0.87f, 1.0f}, {0.38f, 0.50f, 0.62f}, {0.2f, 0.3f, 0.4f}, {0.0f, 0.0f, 0.0f, 0.22f}};
constexpr TMeshColors kDark = {
    {0.11f, 0.11f, 0.14f, 1.0f}, {0.48f, 0.60f, 0.72f}, {0.7f, 0.8f, 0.9f}, {1.0f, 1.0f, 1.0f, 0.22f}};

constexpr double kHalfFovRadians = 20.0 * 3.14159265358979323846 / 180.0;
constexpr GLsizei kStride = sizeof(TGLVertex);

void SolidPass(const TGLApi& gl, const TMeshData& mesh, const TMeshColors& colors)
{
    gl.Enable(gl::LIGHTING);
    gl.PolygonMode(gl::FRONT_AND_BACK, gl::FILL);
    // Pushes the surface back so the mode-1 overlay wins the depth test.
    gl.Enable(gl::POLYGON_OFFSET_FILL);
    gl.PolygonOffset(1.0f, 1.0f);
    if (!mesh.HasMaterial) gl.Color3f(colors.Model[0], colors.Model[1], colors.Model[2]);
    DrawMeshTriangles(gl, mesh);
    gl.Disable(gl::POLYGON_OFFSET_FILL);
}

void WirePass(const TGLApi& gl, const TMeshData& mesh, const TMeshColors& colors, uint8_t renderMode)
{
    if (mesh.HasMaterial) gl.DisableClientState(gl::COLOR_ARRAY);
    gl.Disable(gl::LIGHTING);
    gl.PolygonMode(gl::FRONT_AND_BACK, gl::LINE);
    gl.Enable(gl::BLEND);
    gl.BlendFunc(gl::SRC_ALPHA, gl::ONE_MINUS_SRC_ALPHA);
    if (renderMode == kModeWire)
        gl.Color4f(colors.Wire[0], colors.Wire[1], colors.Wire[2], 1.0f);
    else
        gl.Color4f(colors.Overlay[0], colors.Overlay[1], colors.Overlay[2], colors.Overlay[3]);
    DrawMeshTriangles(gl, mesh);
    gl.Disable(gl::BLEND);
    gl.PolygonMode(gl::FRONT_AND_BACK, gl::FILL);
    gl.Enable(gl::LIGHTING);
}

}  // namespace

const TMeshColors& MeshColors(bool dark)
{
    return dark ? kDark : kLight;
}

TMeshFrustum ComputeMeshFrustum(float radius, float zoom, int width, int height)
{
    TMeshFrustum f{};
    f.Distance = radius * 3.0f * zoom;
    float nearPlane = radius * 0.005f;
    f.Near = nearPlane > 0.001f ? nearPlane : 0.001f;
    f.Far = radius * 200.0f;
    f.Top = std::tan(kHalfFovRadians) * f.Near;
    f.Right = height > 0 ? f.Top * width / height : f.Top;
    return f;
}

void SetupLights(const TGLApi& gl)
{
    gl.LightModelfv(gl::LIGHT_MODEL_AMBIENT, kGlobalAmbient);
    gl.LightModeli(gl::LIGHT_MODEL_TWO_SIDE, 1);
    gl.Lightfv(gl::LIGHT0, gl::AMBIENT, kLightAmbient);
    gl.Lightfv(gl::LIGHT0, gl::DIFFUSE, kLightDiffuse);
    gl.Lightfv(gl::LIGHT0, gl::SPECULAR, kLightSpecular);
    gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightPosition);
}

void SetShadingState(const TGLApi& gl)
{
    gl.Enable(gl::DEPTH_TEST);
    gl.DepthFunc(gl::LEQUAL);
    gl.Enable(gl::NORMALIZE);
    gl.ShadeModel(gl::SMOOTH);
    gl.Enable(gl::LIGHTING);
    gl.Enable(gl::LIGHT0);
    SetupLights(gl);
    gl.Enable(gl::COLOR_MATERIAL);
    gl.ColorMaterial(gl::FRONT_AND_BACK, gl::AMBIENT_AND_DIFFUSE);
}

void InitGLState(const TGLApi& gl, int samples)
{
    SetShadingState(gl);
    gl.Hint(gl::PERSPECTIVE_CORRECTION_HINT, gl::NICEST);
    if (samples > 0) gl.Enable(gl::MULTISAMPLE);
}

void ApplyMeshCamera(const TGLApi& gl, const TMeshData& mesh, const TMeshCamera& cam, int width, int height)
{
    TMeshFrustum f = ComputeMeshFrustum(mesh.Radius, cam.Zoom, width, height);
    gl.MatrixMode(gl::PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-f.Right, f.Right, -f.Top, f.Top, f.Near, f.Far);
    gl.MatrixMode(gl::MODELVIEW);
    gl.LoadIdentity();
    gl.Translatef(cam.PanX, cam.PanY, -f.Distance);
    gl.Lightfv(gl::LIGHT0, gl::POSITION, kLightPosition);
    gl.Rotatef(cam.RotX, 1.0f, 0.0f, 0.0f);
    gl.Rotatef(cam.RotY, 0.0f, 1.0f, 0.0f);
    gl.Translatef(-mesh.CenterX, -mesh.CenterY, -mesh.CenterZ);
}

void EnableMeshArrays(const TGLApi& gl, const TMeshData& mesh)
{
    const auto* base = reinterpret_cast<const unsigned char*>(mesh.Vertices.data());
    gl.EnableClientState(gl::NORMAL_ARRAY);
    gl.EnableClientState(gl::VERTEX_ARRAY);
    gl.NormalPointer(gl::FLOAT, kStride, base + offsetof(TGLVertex, NX));
    gl.VertexPointer(3, gl::FLOAT, kStride, base + offsetof(TGLVertex, X));
    if (mesh.HasMaterial) {
        gl.EnableClientState(gl::COLOR_ARRAY);
        gl.ColorPointer(4, gl::UNSIGNED_BYTE, kStride, base + offsetof(TGLVertex, R));
    }
}

void DrawMeshTriangles(const TGLApi& gl, const TMeshData& mesh)
{
    if (mesh.Indices.empty())
        gl.DrawArrays(gl::TRIANGLES, 0, mesh.IndexCount);
    else
        gl.DrawElements(gl::TRIANGLES, mesh.IndexCount, gl::UNSIGNED_INT, mesh.Indices.data());
}

void DisableMeshArrays(const TGLApi& gl)
{
    gl.DisableClientState(gl::COLOR_ARRAY);
    gl.DisableClientState(gl::NORMAL_ARRAY);
    gl.DisableClientState(gl::VERTEX_ARRAY);
}

void DrawMeshFrame(const TGLApi& gl, const TMeshData& mesh, const TMeshCamera& cam, uint8_t renderMode, bool dark,
                   int width, int height)
{
    if (mesh.VertexCount <= 0 || width <= 0 || height <= 0) return;
    const TMeshColors& colors = MeshColors(dark);
    gl.ClearColor(colors.Background[0], colors.Background[1], colors.Background[2], colors.Background[3]);
    gl.Clear(gl::COLOR_BUFFER_BIT | gl::DEPTH_BUFFER_BIT);
    gl.Viewport(0, 0, width, height);
    ApplyMeshCamera(gl, mesh, cam, width, height);
    EnableMeshArrays(gl, mesh);
    if (renderMode != kModeWire) SolidPass(gl, mesh, colors);
    if (renderMode != kModeSolid) WirePass(gl, mesh, colors, renderMode);
    DisableMeshArrays(gl);
}

}  // namespace voxaro
