// The voxaro command run as its users run it: a process, a PNG file or none,
// an exit status. Its pictures must be those of the renderers the viewer and
// the host's thumbnail view use, drawn here in-process for the same state.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <png.h>
#include <sys/wait.h>

#include "GCodeParser.h"
#include "gcode_renderer.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "test_files.h"
#include "thumbnail_renderer.h"

namespace voxaro {
namespace {

using namespace voxaro::test;
namespace fs = std::filesystem;

const std::string kGCode = DataFile("prusaslicer_overhang_supports.gcode");

struct TRun {
    int Status = -1;
    std::string Output;  // stdout and stderr
};

TRun RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::string command = program;
    for (const std::string& a : args)
        command += " '" + a + "'";
    TRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        run.Output += static_cast<char>(c);
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

// A copy of the command with the lib3mf test adapter beside it, as a user
// with lib3mf has it.
std::string VoxaroWithLib3mf()
{
    const fs::path folder = fs::path(TempDir()) / "with_lib3mf";
    fs::create_directories(folder);
    const auto over = fs::copy_options::overwrite_existing;
    fs::copy_file(VOXARO_CLI, folder / "voxaro", over);
    fs::copy_file(std::string(VOXARO_LIB3MF_ADAPTER_DIR) + "lib3mf.so", folder / "lib3mf.so", over);
    return (folder / "voxaro").string();
}

// A new empty folder for one run's output.
std::string OutFolder()
{
    static int count = 0;
    const std::string folder = TempDir() + "/out" + std::to_string(++count);
    fs::create_directories(folder);
    return folder;
}

struct TImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;  // rows top first
};

TImage Draw(int width, int height, const std::function<void(const TGLApi&)>& draw)
{
    TOffscreenGL gl;
    EXPECT_TRUE(gl.Create(width, height));
    draw(gl.Api());
    return {width, height, gl.ReadRGB()};
}

std::unique_ptr<TMeshData> LoadModel(const std::string& path)
{
    auto mesh = std::make_unique<TMeshData>();
    EXPECT_TRUE(mesh->LoadFromFile(Wide(path), VOXARO_LIB3MF_ADAPTER_DIR)) << mesh->ErrorMsg;
    return mesh;
}

const TGCodeParser& Toolpath()
{
    static TGCodeParser parser;
    if (parser.MoveCount == 0) {
        EXPECT_TRUE(parser.LoadFromFile(Wide(kGCode)));
    }
    return parser;
}

// The PNG file's pixels, decoded by libpng; an empty image when it is no PNG.
TImage DecodePng(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    TImage out{static_cast<int>(image.width), static_cast<int>(image.height), {}};
    out.Rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.Rgb.data(), 0, nullptr)) return {};
    return out;
}

// The PNG holds exactly the renderer's picture.
void ExpectPicture(const std::string& png, const TImage& want)
{
    const TImage got = DecodePng(png);
    ASSERT_EQ(got.Width, want.Width) << png;
    ASSERT_EQ(got.Height, want.Height) << png;
    EXPECT_TRUE(got.Rgb == want.Rgb) << "not the renderer's picture";
}

// ---------------------------------------------------------------------------
// voxaro thumbnail

TEST(ThumbnailCommand, TheHostsPictureOfEachFormatAtTheAskedSize)
{
    const struct {
        std::string File;
        bool Toolpath;  // else a model
    } cases[] = {
        {DataFile("openscad_gear_bin.stl"), false},
        {DataFile("openscad_overhang_ascii.stl"), false},
        {DataFile("occt_coloured_faces.step"), false},
        {DataFile("lib3mf_object_colours.3mf"), false},
        {kGCode, true},
        {WriteTempFile("print.NC", ReadFileBytes(kGCode)), true},
    };
    for (const auto& c : cases)
        for (int side : {256, 96}) {
            const std::string out = OutFolder() + "/thumb.png";
            std::vector<std::string> args{"thumbnail", c.File, out};
            if (side != 256) args.insert(args.end(), {"--size", std::to_string(side)});  // 256 by default
            const TRun run = RunProgram(VoxaroWithLib3mf(), args);
            ASSERT_EQ(run.Status, 0) << c.File << ": " << run.Output;
            ExpectPicture(out, Draw(side, side, [&](const TGLApi& gl) {
                              if (c.Toolpath) DrawGCodeThumbnail(gl, Toolpath(), false, side, side);
                              if (!c.Toolpath) DrawMeshThumbnail(gl, *LoadModel(c.File), side, side);
                          }));
        }
}

// No thumbnail, whatever the reason: status 1 and no file at all in the
// output folder, not even a temporary one. Status 124 past the time budget.
TEST(ThumbnailCommand, NoThumbnailLeavesNoFile)
{
    std::string big;
    for (int i = 0; i < 20; ++i)
        big += ReadFileBytes(kGCode);
    const struct {
        std::string Program, File, Timeout;
        int Status;
    } cases[] = {
        {VOXARO_CLI, TempDir() + "/missing.stl", "5", 1},
        {VOXARO_CLI, WriteTempFile("print.tap", ReadFileBytes(kGCode)), "5", 1},  // no thumbnail, as in the host
        {VOXARO_CLI, WriteTempFile("comments.gcode", "; only a comment\n"), "5", 1},
        {VOXARO_CLI, WriteTempFile("empty.stl", std::string(84, '\0')), "5", 1},
        {VOXARO_CLI, DataFile("lib3mf_object_colours.3mf"), "5", 1},  // no lib3mf beside the program
        {VoxaroWithLib3mf(), WriteTempFile("big.gcode", big), "0.001", 124},
    };
    for (const auto& c : cases) {
        const std::string folder = OutFolder();
        const TRun run = RunProgram(c.Program, {"thumbnail", c.File, folder + "/thumb.png", "--timeout", c.Timeout});
        EXPECT_EQ(run.Status, c.Status) << c.File << ": " << run.Output;
        EXPECT_EQ(run.Output.rfind("voxaro: no thumbnail: ", 0), 0u) << run.Output;
        EXPECT_TRUE(fs::is_empty(folder)) << c.File;
    }
}

// ---------------------------------------------------------------------------
// voxaro render

TEST(RenderCommand, ToolpathWithThePanelsControls)
{
    const struct {
        std::vector<std::string> Args;
        std::function<void(TGCodeFrame&)> Change;
    } cases[] = {
        {{}, [](TGCodeFrame&) {}},
        {{"--travel", "--support", "--view", "top"},
         [](TGCodeFrame& f) { f.Options.ShowTravel = f.Options.ShowSupport = true, GCodePresetTop(f.Camera); }},
        {{"--color-by-layer", "--axes", "--view", "front"},
         [](TGCodeFrame& f) { f.Options.ColorByLayer = f.Options.Axes = true, GCodePresetFront(f.Camera); }},
        {{"--edges", "--layer", "40", "--view", "side"},
         [](TGCodeFrame& f) { f.Options.Edges = true, f.LayerSel = 40, GCodePresetSide(f.Camera); }},
        {{"--line-width", "2.25"}, [](TGCodeFrame& f) { f.LineWidth = 23 * 0.1; }},  // the slider's 0.1 mm steps
        {{"--no-lighting"}, [](TGCodeFrame& f) { f.Options.Lighting = false; }},
        {{"--no-print", "--travel", "--layer", "all"},
         [](TGCodeFrame& f) { f.Options.ShowPrint = false, f.Options.ShowTravel = true; }},
    };
    for (const auto& c : cases) {
        const std::string out = OutFolder() + "/view.png";
        std::vector<std::string> args{"render", kGCode, out, "--size", "160x120"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const TRun run = RunProgram(VOXARO_CLI, args);
        ASSERT_EQ(run.Status, 0) << run.Output;
        // The view right after a load, then the panel's changes.
        TGCodeFrame frame;
        frame.Parser = &Toolpath();
        FitGCodeCamera(frame.Camera, frame.Parser);
        ResetGCodeAngles(frame.Camera);
        frame.Options.ShowPrint = frame.Options.Lighting = true;
        frame.Width = 160, frame.Height = 120;
        c.Change(frame);
        ExpectPicture(out, Draw(160, 120, [&](const TGLApi& gl) {
                          InitGLState(gl, 0);
                          DrawGCodeFrame(gl, frame);
                      }));
    }
}

TEST(RenderCommand, ModelsAndThumbnailsAtAnySize)
{
    const std::string stl = DataFile("openscad_gear_bin.stl"), step = DataFile("occt_two_part_assembly.step");
    const std::string out = OutFolder() + "/view.png";
    TRun run = RunProgram(VOXARO_CLI, {"render", stl, out, "--size", "150x100", "--mode", "1", "--dark"});
    ASSERT_EQ(run.Status, 0) << run.Output;
    ExpectPicture(out, Draw(150, 100, [&](const TGLApi& gl) {
                      InitGLState(gl, 0);
                      DrawMeshFrame(gl, *LoadModel(stl), TMeshCamera{}, kModeSolidWire, true, 150, 100);
                  }));
    EXPECT_NE(run.Output.find("STL Binary  |  Triangles: 1304"), std::string::npos) << run.Output;
    run = RunProgram(VOXARO_CLI, {"render", step, out, "--size", "150x100", "--thumb"});
    ASSERT_EQ(run.Status, 0) << run.Output;
    ExpectPicture(out, Draw(150, 100, [&](const TGLApi& gl) { DrawMeshThumbnail(gl, *LoadModel(step), 150, 100); }));
}

// A full-size render is written compressed: the 1.44 MB of its raw pixels
// shrink to a small fraction, and decode to the renderer's picture.
TEST(RenderCommand, PicturesAreCompressed)
{
    const std::string stl = DataFile("openscad_gear_bin.stl");
    const std::string out = OutFolder() + "/view.png";
    const TRun run = RunProgram(VOXARO_CLI, {"render", stl, out, "--size", "800x600", "--mode", "1"});
    ASSERT_EQ(run.Status, 0) << run.Output;
    ExpectPicture(out, Draw(800, 600, [&](const TGLApi& gl) {
                      InitGLState(gl, 0);
                      DrawMeshFrame(gl, *LoadModel(stl), TMeshCamera{}, kModeSolidWire, false, 800, 600);
                  }));
    EXPECT_LT(fs::file_size(out), 800u * 600 * 3 / 4);
}

// Usage errors (the rules are checked with the options): status 2, the
// problem and the usage on stderr, nothing written.
TEST(Commands, UsageErrors)
{
    const std::string folder = OutFolder();
    const struct {
        std::vector<std::string> Args;
        const char* Message;
    } cases[] = {
        {{"draw", kGCode}, "unknown command 'draw'"},
        {{"render", kGCode, folder + "/out.png", "--layer", "-1"},
         "bad value for --layer: '-1' (expected a layer number from 0, or all)"},
        {{"render", kGCode, folder + "/out.png", "--dark"}, "--dark is for models, not G-code files"},
        {{"thumbnail", kGCode, folder + "/out.png", "--sizes", "9"}, "unknown option '--sizes'"},
    };
    for (const auto& c : cases) {
        const TRun run = RunProgram(VOXARO_CLI, c.Args);
        EXPECT_EQ(run.Status, 2) << run.Output;
        EXPECT_EQ(run.Output.rfind(std::string("voxaro: ") + c.Message + "\nusage: voxaro", 0), 0u) << run.Output;
    }
    EXPECT_TRUE(fs::is_empty(folder));
}

// A picture renamed over the model it was drawn from would destroy it: the
// same file under any name is refused as a usage error, and left alone.
TEST(Commands, OutputThatIsTheInputIsRefused)
{
    const std::string folder = OutFolder(), model = folder + "/m.stl";
    const std::string bytes = ReadFileBytes(DataFile("openscad_gear_bin.stl"));
    fs::copy_file(DataFile("openscad_gear_bin.stl"), model);
    fs::create_hard_link(model, folder + "/link.png");
    for (const std::string& out : {model, folder + "/../" + fs::path(folder).filename().string() + "/link.png"})
        for (const char* command : {"render", "thumbnail"}) {
            const TRun run = RunProgram(VOXARO_CLI, {command, model, out});
            EXPECT_EQ(run.Status, 2) << command << " " << out << ": " << run.Output;
            EXPECT_EQ(run.Output.rfind("voxaro: the output " + out + " is the input file\n", 0), 0u) << run.Output;
        }
    EXPECT_EQ(ReadFileBytes(model), bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

// A file name is the bytes the system has, UTF-8 or not: a Latin-1 "café"
// opens under its own bytes, not under U+FFFD in their place.
TEST(Commands, NamesThatAreNotUtf8)
{
    const std::string folder = OutFolder(), model = folder + "/caf\xe9.stl", print = folder + "/caf\xe9.gcode";
    fs::copy_file(DataFile("openscad_gear_bin.stl"), model);
    fs::copy_file(kGCode, print);
    TRun run = RunProgram(VOXARO_CLI, {"info", model});
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(run.Output.rfind("STL Binary  |  Triangles: 1304", 0), 0u) << run.Output;
    run = RunProgram(VOXARO_CLI, {"thumbnail", print, folder + "/caf\xe9.png", "--size", "32"});
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_TRUE(fs::exists(folder + "/caf\xe9.png"));
}

// An output name that is a symbolic link: the picture goes where the link
// points (a file there, or one still to be made), the link stays a link.
TEST(Commands, OutputThroughASymbolicLink)
{
    const std::string folder = OutFolder(), target = OutFolder();
    fs::create_symlink(target + "/old.png", folder + "/view.png");
    std::ofstream(target + "/old.png") << "old";
    fs::create_symlink("../" + fs::path(target).filename().string() + "/new.png", folder + "/thumb.png");
    const std::string stl = DataFile("openscad_gear_bin.stl");
    TRun run = RunProgram(VOXARO_CLI, {"render", stl, folder + "/view.png", "--size", "40x30"});
    EXPECT_EQ(run.Status, 0) << run.Output;
    run = RunProgram(VOXARO_CLI, {"thumbnail", stl, folder + "/thumb.png", "--size", "32"});
    EXPECT_EQ(run.Status, 0) << run.Output;
    for (const char* link : {"/view.png", "/thumb.png"})
        EXPECT_TRUE(fs::is_symlink(folder + link)) << link;
    for (const char* png : {"/old.png", "/new.png"})
        EXPECT_EQ(ReadFileBytes(target + png).rfind("\x89PNG", 0), 0u) << png;
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 2);  // no temporary left
}

}  // namespace
}  // namespace voxaro
