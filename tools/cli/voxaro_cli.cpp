// voxaro: the viewer's engine outside the host.
//   voxaro info FILE
//   voxaro render FILE OUT.png [--size WxH] [--dark] [--mode 0|1|2] [--thumb]
// G-code files are drawn as the view shows them after loading (or, with
// --thumb, as their thumbnail).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "GCodeParser.h"
#include "file_io.h"
#include "gcode_renderer.h"
#include "gcode_summary.h"
#include "mesh_data.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "png_write.h"
#include "shared_library.h"
#include "thumbnail_renderer.h"

using namespace voxaro;

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int InfoGCode(const std::wstring& name)
{
    auto start = Clock::now();
    TGCodeParser parser;
    bool ok = parser.LoadFromFile(name);
    double ms = MillisecondsSince(start);
    if (!ok) {
        std::printf("Error: %s\n", parser.ErrorMsg.c_str());
        return 1;
    }
    std::printf("%s\n", GCodeStatusLine(parser, 0).c_str());
    if (parser.HasPrintBounds)
        std::printf("Print bounds: X %.3f..%.3f  Y %.3f..%.3f  Z %.3f..%.3f\n", parser.PrintMinX, parser.PrintMaxX,
                    parser.PrintMinY, parser.PrintMaxY, parser.PrintMinZ, parser.PrintMaxZ);
    else
        std::printf("Print bounds: none\n");
    std::printf("Parse time: %.1f ms\n", ms);
    return 0;
}

// A reader's failure message, also for the errors that leave LoadFromFile
// (a STEP file that cannot be opened, a 3MF mesh that cannot be had)
// instead of being returned.
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

int InfoMesh(const std::wstring& name)
{
    auto start = Clock::now();
    TMeshData mesh;
    bool ok = LoadMesh(mesh, name);
    double ms = MillisecondsSince(start);
    if (!ok) {
        std::printf("Error: %s\n", mesh.ErrorMsg.c_str());
        return 1;
    }
    std::printf("%s\n", mesh.InfoText.c_str());
    std::printf("Centre: %g %g %g  Radius: %g\n", mesh.CenterX, mesh.CenterY, mesh.CenterZ, mesh.Radius);
    std::printf("Load time: %.1f ms\n", ms);
    return 0;
}

struct RenderOptions {
    int Width = 800;
    int Height = 600;
    bool Dark = false;
    int Mode = 0;
    bool Thumb = false;  // G-code: the thumbnail instead of the view
};

bool ParseRenderOptions(int argc, char** argv, RenderOptions& o)
{
    for (int i = 4; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--dark")) {
            o.Dark = true;
        } else if (!std::strcmp(argv[i], "--thumb")) {
            o.Thumb = true;
        } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &o.Width, &o.Height) != 2 || o.Width <= 0 || o.Height <= 0 ||
                o.Width > 16384 || o.Height > 16384)
                return false;
        } else if (!std::strcmp(argv[i], "--mode") && i + 1 < argc) {
            o.Mode = std::atoi(argv[++i]);
            if (o.Mode < 0 || o.Mode > 2) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool WriteFrame(const TOffscreenGL& gl, const char* out)
{
    std::vector<uint8_t> rgb = gl.ReadRGB();
    if (WritePng(out, rgb.data(), gl.Width(), gl.Height())) return true;
    std::fprintf(stderr, "voxaro: cannot write %s\n", out);
    return false;
}

// The toolpath as the view draws it after a load (print and lighting on,
// fitted camera), or its thumbnail.
int RenderGCode(const std::wstring& name, const char* out, const RenderOptions& o, TOffscreenGL& gl)
{
    TGCodeParser parser;
    if (!parser.LoadFromFile(name)) {
        std::printf("Error: %s\n", parser.ErrorMsg.c_str());
        return 1;
    }
    auto start = Clock::now();
    bool drawn = false;
    if (o.Thumb) {
        drawn = DrawGCodeThumbnail(gl.Api(), parser, false, o.Width, o.Height);
    } else {
        InitGLState(gl.Api(), 0);
        TGCodeFrame frame;
        frame.Parser = &parser;
        FitGCodeCamera(frame.Camera, &parser);
        ResetGCodeAngles(frame.Camera);
        frame.Options.ShowPrint = frame.Options.Lighting = true;
        frame.Width = o.Width;
        frame.Height = o.Height;
        drawn = DrawGCodeFrame(gl.Api(), frame);
    }
    gl.Api().Finish();
    const double ms = MillisecondsSince(start);
    if (!drawn) {
        std::printf("Error: nothing to draw\n");
        return 1;
    }
    if (!WriteFrame(gl, out)) return 1;
    std::printf("%s\nDraw time: %.1f ms\n", GCodeStatusLine(parser, 0).c_str(), ms);
    return 0;
}

int Render(const std::wstring& name, const char* out, const RenderOptions& o)
{
    TOffscreenGL gl;
    if (!gl.Create(o.Width, o.Height)) {
        std::fprintf(stderr, "voxaro: cannot create an off-screen GL context\n");
        return 1;
    }
    if (IsGCodeFileName(name)) return RenderGCode(name, out, o, gl);
    TMeshData mesh;
    if (!LoadMesh(mesh, name)) {
        std::printf("Error: %s\n", mesh.ErrorMsg.c_str());
        return 1;
    }
    InitGLState(gl.Api(), 0);
    DrawMeshFrame(gl.Api(), mesh, TMeshCamera{}, static_cast<uint8_t>(o.Mode), o.Dark, o.Width, o.Height);
    if (!WriteFrame(gl, out)) return 1;
    std::printf("%s\n", mesh.InfoText.c_str());
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: voxaro info FILE\n"
                         "       voxaro render FILE OUT.png [--size WxH] [--dark] [--mode 0|1|2] [--thumb]\n");
    return 2;
}

// lib3mf is looked for beside this program (lib3mf.so), as the plug-in
// looks for it in its own folder.
int Run(int argc, char** argv)
{
    if (argc >= 3 && !std::strcmp(argv[1], "info")) {
        std::wstring name = Utf8ToWide(argv[2]);
        return IsGCodeFileName(name) ? InfoGCode(name) : InfoMesh(name);
    }
    if (argc >= 4 && !std::strcmp(argv[1], "render")) {
        RenderOptions options;
        if (!ParseRenderOptions(argc, argv, options)) return Usage();
        return Render(Utf8ToWide(argv[2]), argv[3], options);
    }
    return Usage();
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {  // a model whose mesh cannot be had
        std::printf("Error: %s\n", e.what());
        return 1;
    }
}
