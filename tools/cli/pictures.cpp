#include "pictures.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "GCodeParser.h"
#include "gcode_renderer.h"
#include "gcode_summary.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "shared_library.h"
#include "thumbnail_renderer.h"

namespace voxaro {

namespace {

bool Fail(TPicture& picture, const std::string& error)
{
    picture.Error = error;
    return false;
}

bool CreateGL(TOffscreenGL& gl, int width, int height, TPicture& picture)
{
    return gl.Create(width, height) || Fail(picture, "cannot create an off-screen GL context");
}

void ReadBack(const TOffscreenGL& gl, TPicture& picture)
{
    picture.Rgb = gl.ReadRGB();
    picture.Width = gl.Width();
    picture.Height = gl.Height();
}

bool LoadToolpath(TGCodeParser& parser, const std::wstring& name, TPicture& picture)
{
    if (!parser.LoadFromFile(name)) return Fail(picture, parser.ErrorMsg);
    return parser.MoveCount > 0 || Fail(picture, "no moves to draw");
}

bool LoadModel(TMeshData& mesh, const std::wstring& name, TPicture& picture)
{
    if (!LoadMesh(mesh, name)) return Fail(picture, mesh.ErrorMsg);
    return mesh.VertexCount > 0 || Fail(picture, "no triangles to draw");
}

// The view's frame after a load (camera fitted, default angles), with the
// panel's controls set as the options say.
TGCodeFrame ViewFrame(const TGCodeParser& parser, const TRenderOptions& o)
{
    TGCodeFrame frame;
    frame.Parser = &parser;
    FitGCodeCamera(frame.Camera, &parser);
    ResetGCodeAngles(frame.Camera);
    switch (o.Preset) {
    case TViewPreset::Top: GCodePresetTop(frame.Camera); break;
    case TViewPreset::Front: GCodePresetFront(frame.Camera); break;
    case TViewPreset::Side: GCodePresetSide(frame.Camera); break;
    case TViewPreset::Fitted: break;
    }
    frame.Options = o.View;
    frame.LayerSel = o.Layer;
    frame.LineWidth = o.LineWidth;
    frame.Width = o.Width;
    frame.Height = o.Height;
    return frame;
}

bool DrawToolpathView(const std::wstring& name, const TRenderOptions& o, TPicture& picture)
{
    TGCodeParser parser;
    TOffscreenGL gl;
    if (!LoadToolpath(parser, name, picture) || !CreateGL(gl, o.Width, o.Height, picture)) return false;
    const auto start = std::chrono::steady_clock::now();
    InitGLState(gl.Api(), 0);
    DrawGCodeFrame(gl.Api(), ViewFrame(parser, o));
    gl.Api().Finish();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ReadBack(gl, picture);
    char time[64];
    std::snprintf(time, sizeof time, "\nDraw time: %.1f ms", ms);
    picture.Summary = GCodeStatusLine(parser, 0) + time;
    return true;
}

bool DrawModelView(const std::wstring& name, const TRenderOptions& o, TPicture& picture)
{
    TMeshData mesh;
    TOffscreenGL gl;
    if (!LoadModel(mesh, name, picture) || !CreateGL(gl, o.Width, o.Height, picture)) return false;
    InitGLState(gl.Api(), 0);
    DrawMeshFrame(gl.Api(), mesh, TMeshCamera{}, o.Mode, o.Dark, o.Width, o.Height);
    ReadBack(gl, picture);
    picture.Summary = mesh.InfoText;
    return true;
}

}  // namespace

bool LoadMesh(TMeshData& mesh, const std::wstring& name)
{
    try {
        return mesh.LoadFromFile(name, ProgramFolder());
    } catch (const std::exception& e) {
        mesh.Clear();
        mesh.ErrorMsg = e.what();
        return false;
    }
}

bool DrawView(const std::wstring& name, const TRenderOptions& o, TPicture& picture)
{
    if (o.Thumb) return DrawThumbnail(name, o.Width, o.Height, picture);
    return IsGCodeFileName(name) ? DrawToolpathView(name, o, picture) : DrawModelView(name, o, picture);
}

bool DrawThumbnail(const std::wstring& name, int width, int height, TPicture& picture)
{
    TOffscreenGL gl;
    if (IsGCodeThumbnailName(name)) {
        TGCodeParser parser;
        if (!LoadToolpath(parser, name, picture) || !CreateGL(gl, width, height, picture)) return false;
        // Colour by layer is off: no view of this process has drawn a toolpath.
        DrawGCodeThumbnail(gl.Api(), parser, false, width, height);
        picture.Summary = GCodeStatusLine(parser, 0);
    } else {
        TMeshData mesh;
        if (!LoadModel(mesh, name, picture) || !CreateGL(gl, width, height, picture)) return false;
        DrawMeshThumbnail(gl.Api(), mesh, width, height);
        picture.Summary = mesh.InfoText;
    }
    ReadBack(gl, picture);
    return true;
}

}  // namespace voxaro
