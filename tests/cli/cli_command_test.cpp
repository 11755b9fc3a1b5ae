// The voxaro command run as its users run it: a separate process, a PNG file
// or none, an exit status. Its pictures must be those of the renderers the
// viewer and the host's thumbnail view use, drawn here in-process for the same
// file and state.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "GCodeParser.h"
#include "gcode_renderer.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "png_read.h"
#include "test_files.h"
#include "thumbnail_renderer.h"

namespace voxaro {
namespace {

using namespace voxaro::test;
namespace fs = std::filesystem;

const std::string kGCode = "prusaslicer_overhang_supports.gcode";

struct TRun {
    int Status = -1;  // exit status, or 128 + the signal that ended it
    std::string Output;
};

// Runs program with args, stdout and stderr together into Output.
TRun RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    static int count = 0;
    const std::string log = TempDir() + "/run" + std::to_string(++count) + ".log";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    TRun run;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.Output = ReadFileBytes(log);
    return run;
}

TRun Voxaro(const std::vector<std::string>& args)
{
    return RunProgram(VOXARO_CLI, args);
}

// A copy of the command with the lib3mf test adapter beside it, as a user
// with lib3mf installed has it.
const std::string& VoxaroWithLib3mf()
{
    static const std::string program = [] {
        const fs::path folder = fs::path(TempDir()) / "with_lib3mf";
        fs::create_directories(folder);
        fs::copy_file(VOXARO_CLI, folder / "voxaro", fs::copy_options::overwrite_existing);
        fs::copy_file(std::string(VOXARO_LIB3MF_ADAPTER_DIR) + "lib3mf.so", folder / "lib3mf.so",
                      fs::copy_options::overwrite_existing);
        return (folder / "voxaro").string();
    }();
    return program;
}

// A new empty folder for one case's output.
std::string OutFolder()
{
    static int count = 0;
    const std::string folder = TempDir() + "/out" + std::to_string(++count);
    fs::create_directories(folder);
    return folder;
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TRgbImage ReadPng(const std::string& path)
{
    TRgbImage image;
    EXPECT_TRUE(DecodePng(ReadFileBytes(path), image)) << path;
    return image;
}

std::string CopyAs(const std::string& dataFile, const std::string& name)
{
    return WriteTempFile(name, ReadFileBytes(DataFile(dataFile)));
}

// ---------------------------------------------------------------------------
// Reference pictures, drawn in this process

using TDraw = std::function<void(const GLApi&)>;

TRgbImage Draw(int width, int height, const TDraw& draw)
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

const TGCodeParser* LoadToolpath(const std::string& path)
{
    static std::map<std::string, std::unique_ptr<TGCodeParser>> loaded;
    std::unique_ptr<TGCodeParser>& parser = loaded[path];
    if (!parser) {
        parser = std::make_unique<TGCodeParser>();
        EXPECT_TRUE(parser->LoadFromFile(Wide(path)));
    }
    return parser.get();
}

TRgbImage ModelThumbnail(const std::string& path, int size)
{
    const auto mesh = LoadModel(path);
    return Draw(size, size, [&](const GLApi& gl) { DrawMeshThumbnail(gl, *mesh, size, size); });
}

TRgbImage ToolpathThumbnail(const std::string& path, int size)
{
    const TGCodeParser* parser = LoadToolpath(path);
    return Draw(size, size, [&](const GLApi& gl) { DrawGCodeThumbnail(gl, *parser, false, size, size); });
}

// The view right after a load, with the panel changed by change.
TRgbImage ToolpathView(const std::string& path, int width, int height, const std::function<void(TGCodeFrame&)>& change)
{
    TGCodeFrame frame;
    frame.Parser = LoadToolpath(path);
    FitGCodeCamera(frame.Camera, frame.Parser);
    ResetGCodeAngles(frame.Camera);
    frame.Options.ShowPrint = frame.Options.Lighting = true;
    frame.Width = width, frame.Height = height;
    change(frame);
    return Draw(width, height, [&](const GLApi& gl) {
        InitGLState(gl, 0);
        DrawGCodeFrame(gl, frame);
    });
}

void ExpectSamePicture(const TRgbImage& got, const TRgbImage& want)
{
    ASSERT_EQ(got.Width, want.Width);
    ASSERT_EQ(got.Height, want.Height);
    size_t differ = 0;
    for (size_t i = 0; i < got.Rgb.size(); ++i)
        differ += got.Rgb[i] != want.Rgb[i];
    EXPECT_EQ(differ, 0u) << "bytes that differ from the renderer's picture";
}

// ---------------------------------------------------------------------------
// voxaro thumbnail

struct TThumbnailCase {
    const char* File;      // in tests/data
    const char* CopyName;  // copied under this name first, or null
    bool Toolpath;         // drawn as a toolpath (else as a model)
    bool NeedsLib3mf;
};

void PrintTo(const TThumbnailCase& c, std::ostream* os)
{
    *os << (c.CopyName ? c.CopyName : c.File);
}

class ThumbnailCommand : public testing::TestWithParam<TThumbnailCase> {};

TEST_P(ThumbnailCommand, GivesTheHostsPictureAtTheAskedSize)
{
    const TThumbnailCase& c = GetParam();
    const std::string file = c.CopyName ? CopyAs(c.File, c.CopyName) : DataFile(c.File);
    const std::string program = c.NeedsLib3mf ? VoxaroWithLib3mf() : std::string(VOXARO_CLI);
    for (int size : {0, 96}) {  // 0: the default size, 256
        const std::string out = OutFolder() + "/thumb.png";
        std::vector<std::string> args{"thumbnail", file, out};
        if (size) args.insert(args.end(), {"--size", std::to_string(size)});
        const TRun run = RunProgram(program, args);
        ASSERT_EQ(run.Status, 0) << run.Output;
        const int side = size ? size : 256;
        ExpectSamePicture(ReadPng(out), c.Toolpath ? ToolpathThumbnail(file, side) : ModelThumbnail(file, side));
    }
}

INSTANTIATE_TEST_SUITE_P(EachFormat, ThumbnailCommand,
                         testing::Values(TThumbnailCase{"openscad_gear_bin.stl", nullptr, false, false},
                                         TThumbnailCase{"openscad_overhang_ascii.stl", nullptr, false, false},
                                         TThumbnailCase{"occt_coloured_faces.step", nullptr, false, false},
                                         TThumbnailCase{"lib3mf_object_colours.3mf", nullptr, false, true},
                                         TThumbnailCase{"prusaslicer_overhang_supports.gcode", nullptr, true, false},
                                         TThumbnailCase{"prusaslicer_overhang_supports.gcode", "print.NC", true,
                                                        false}));

// Whatever the reason, no thumbnail means a failing status and no file at
// all in the output folder, not even a temporary one.
TEST(ThumbnailCommand, NoThumbnailLeavesNoFile)
{
    const struct {
        std::string File;
        int Status;
    } cases[] = {
        {TempDir() + "/missing.stl", 1},
        {CopyAs(kGCode, "print.tap"), 1},  // .g and .tap take the model path: no thumbnail, as in the host
        {WriteTempFile("comments.gcode", "; only a comment\n;TYPE:Perimeter\n"), 1},
        {DataFile("lib3mf_object_colours.3mf"), 1},  // no lib3mf beside the program
        {WriteTempFile("empty.stl", std::string(84, '\0')), 1},
    };
    for (const auto& c : cases) {
        const std::string folder = OutFolder();
        const TRun run = Voxaro({"thumbnail", c.File, folder + "/thumb.png", "--size", "32"});
        EXPECT_EQ(run.Status, c.Status) << c.File << ": " << run.Output;
        EXPECT_NE(run.Output.find("voxaro: no thumbnail: "), std::string::npos) << run.Output;
        EXPECT_TRUE(FilesIn(folder).empty()) << c.File;
    }
}

TEST(ThumbnailCommand, GivesUpWhenTheTimeBudgetRunsOut)
{
    std::string big;
    const std::string print = ReadFileBytes(DataFile(kGCode));
    for (int i = 0; i < 20; ++i)
        big += print;
    const std::string file = WriteTempFile("big.gcode", big);
    const std::string folder = OutFolder();
    const TRun run = Voxaro({"thumbnail", file, folder + "/thumb.png", "--timeout", "0.001"});
    EXPECT_EQ(run.Status, 124) << run.Output;
    EXPECT_NE(run.Output.find("not done within 0.001 s"), std::string::npos) << run.Output;
    EXPECT_TRUE(FilesIn(folder).empty());
}

// ---------------------------------------------------------------------------
// voxaro render

TEST(RenderCommand, ToolpathWithThePanelsControls)
{
    const std::string file = DataFile(kGCode);
    const struct {
        std::vector<std::string> Args;
        std::function<void(TGCodeFrame&)> Change;
    } cases[] = {
        {{}, [](TGCodeFrame&) {}},
        {{"--travel", "--support"}, [](TGCodeFrame& f) { f.Options.ShowTravel = f.Options.ShowSupport = true; }},
        {{"--color-by-layer", "--axes"}, [](TGCodeFrame& f) { f.Options.ColorByLayer = f.Options.Axes = true; }},
        {{"--edges", "--layer", "40"}, [](TGCodeFrame& f) { f.Options.Edges = true, f.LayerSel = 40; }},
        {{"--line-width", "2.25"}, [](TGCodeFrame& f) { f.LineWidth = 23 * 0.1; }},  // the slider's 0.1 mm steps
        {{"--no-lighting"}, [](TGCodeFrame& f) { f.Options.Lighting = false; }},
        {{"--no-print", "--travel"}, [](TGCodeFrame& f) { f.Options.ShowPrint = false, f.Options.ShowTravel = true; }},
        {{"--view", "top"}, [](TGCodeFrame& f) { GCodePresetTop(f.Camera); }},
        {{"--view", "front"}, [](TGCodeFrame& f) { GCodePresetFront(f.Camera); }},
        {{"--view", "side", "--layer", "all"}, [](TGCodeFrame& f) { GCodePresetSide(f.Camera); }},
    };
    for (const auto& c : cases) {
        const std::string out = OutFolder() + "/view.png";
        std::vector<std::string> args{"render", file, out, "--size", "160x120"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const TRun run = Voxaro(args);
        ASSERT_EQ(run.Status, 0) << run.Output;
        SCOPED_TRACE(args.back());
        ExpectSamePicture(ReadPng(out), ToolpathView(file, 160, 120, c.Change));
    }
}

TEST(RenderCommand, ModelsAndThumbnailsAtAnySize)
{
    const std::string stl = DataFile("openscad_gear_bin.stl");
    const std::string out = OutFolder() + "/view.png";
    TRun run = Voxaro({"render", stl, out, "--size", "150x100", "--mode", "1", "--dark"});
    ASSERT_EQ(run.Status, 0) << run.Output;
    auto mesh = LoadModel(stl);
    ExpectSamePicture(ReadPng(out), Draw(150, 100, [&](const GLApi& gl) {
                          InitGLState(gl, 0);
                          DrawMeshFrame(gl, *mesh, TMeshCamera{}, kModeSolidWire, true, 150, 100);
                      }));
    EXPECT_NE(run.Output.find(mesh->InfoText), std::string::npos) << run.Output;

    const std::string step = DataFile("occt_two_part_assembly.step");
    run = Voxaro({"render", step, out, "--size", "150x100", "--thumb"});
    ASSERT_EQ(run.Status, 0) << run.Output;
    mesh = LoadModel(step);
    ExpectSamePicture(ReadPng(out), Draw(150, 100, [&](const GLApi& gl) { DrawMeshThumbnail(gl, *mesh, 150, 100); }));
}

// Usage errors: status 2, the problem named, nothing written.
TEST(Commands, UsageErrors)
{
    const std::string stl = DataFile("openscad_gear_bin.stl"), gcode = DataFile(kGCode);
    const struct {
        std::vector<std::string> Args;
        const char* Message;
    } cases[] = {
        {{"draw", stl}, "unknown command 'draw'"},
        {{"render", stl}, "render: missing or extra arguments"},
        {{"render", stl, "OUT", "--shiny"}, "unknown option '--shiny'"},
        {{"render", gcode, "OUT", "--layer", "-1"}, "bad value for --layer: '-1'"},
        {{"render", gcode, "OUT", "--view"}, "--view needs a value"},
        {{"render", stl, "OUT", "--travel"}, "--travel is for G-code files only"},
        {{"render", gcode, "OUT", "--mode", "1"}, "--mode is for models, not G-code files"},
        {{"thumbnail", stl, "OUT", "--size", "0"}, "bad value for --size: '0'"},
    };
    for (const auto& c : cases) {
        const std::string folder = OutFolder();
        std::vector<std::string> args = c.Args;
        for (std::string& a : args)
            if (a == "OUT") a = folder + "/out.png";
        const TRun run = Voxaro(args);
        EXPECT_EQ(run.Status, 2) << run.Output;
        EXPECT_NE(run.Output.find(std::string("voxaro: ") + c.Message), std::string::npos) << run.Output;
        EXPECT_NE(run.Output.find("usage: voxaro"), std::string::npos);
        EXPECT_TRUE(FilesIn(folder).empty()) << c.Message;
    }
}

}  // namespace
}  // namespace voxaro
