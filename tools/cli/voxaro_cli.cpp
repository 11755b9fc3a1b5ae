// voxaro: the viewer's engine outside the host (see Usage below).
//
// Exit status: 0 done; 1 the file could not be read or drawn, or the picture
// not written; 2 a usage error; thumbnail only: 124 when the time budget ran
// out. A picture file appears whole or not at all, and never in place of the
// file it is drawn from.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "GCodeParser.h"
#include "cli_options.h"
#include "file_io.h"
#include "gcode_summary.h"
#include "mesh_data.h"
#include "output_file.h"
#include "pictures.h"
#include "png_write.h"
#include "time_budget.h"

using namespace voxaro;

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kTimedOut = 124;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const char kUsageText[] =
    "usage: voxaro info FILE\n"
    "       voxaro render FILE OUT.png [--size WxH] [--thumb] [options]\n"
    "           models (STL, 3MF, STEP): --dark  --mode 0|1|2\n"
    "           G-code, the side panel's controls: --layer N|all  --line-width MM  --view top|front|side\n"
    "               --travel  --no-print  --support  --color-by-layer  --no-lighting  --axes  --edges\n"
    "       voxaro thumbnail FILE OUT.png [--size N] [--timeout SECONDS]\n";

int Usage(const std::string& problem = {})
{
    if (!problem.empty()) std::fprintf(stderr, "voxaro: %s\n", problem.c_str());
    std::fputs(kUsageText, stderr);
    return kUsage;
}

int InfoGCode(const std::wstring& name)
{
    auto start = Clock::now();
    TGCodeParser parser;
    bool ok = parser.LoadFromFile(name);
    double ms = MillisecondsSince(start);
    if (!ok) {
        std::printf("Error: %s\n", parser.ErrorMsg.c_str());
        return kFailed;
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

int InfoMesh(const std::wstring& name)
{
    auto start = Clock::now();
    TMeshData mesh;
    bool ok = LoadMesh(mesh, name);
    double ms = MillisecondsSince(start);
    if (!ok) {
        std::printf("Error: %s\n", mesh.ErrorMsg.c_str());
        return kFailed;
    }
    std::printf("%s\n", mesh.InfoText.c_str());
    std::printf("Centre: %g %g %g  Radius: %g\n", mesh.CenterX, mesh.CenterY, mesh.CenterZ, mesh.Radius);
    std::printf("Load time: %.1f ms\n", ms);
    return 0;
}

bool WritePicture(const TPicture& picture, const std::string& path)
{
    if (WritePng(path, picture.Rgb.data(), picture.Width, picture.Height)) return true;
    std::fprintf(stderr, "voxaro: cannot write %s\n", path.c_str());
    return false;
}

bool CreateOutput(TOutputFile& out, const char* path)
{
    if (out.Create(path)) return true;
    std::fprintf(stderr, "voxaro: cannot write %s: %s\n", path, out.Error().c_str());
    return false;
}

bool CommitOutput(TOutputFile& out, const char* path)
{
    if (out.Commit()) return true;
    std::fprintf(stderr, "voxaro: cannot write %s: %s\n", path, out.Error().c_str());
    return false;
}

// The rename at the end would put the picture in place of the file it is
// drawn from, under this name or any other that reaches that file.
std::string OutputIsInputProblem(const std::wstring& input, const char* output)
{
    if (!SameFile(input, Utf8ToWide(output))) return {};
    return std::string("the output ") + output + " is the input file";
}

int Render(int argc, char** argv)
{
    TRenderOptions options;
    std::string problem;
    if (!ParseRenderOptions(argc, argv, 4, options, problem)) return Usage(problem);
    const std::wstring name = Utf8ToWide(argv[2]);
    problem = MisfitOption(options, IsGCodeFileName(name));
    if (problem.empty()) problem = OutputIsInputProblem(name, argv[3]);
    if (!problem.empty()) return Usage(problem);
    TOutputFile out;
    if (!CreateOutput(out, argv[3])) return kFailed;
    TPicture picture;
    if (!DrawView(name, options, picture)) {
        std::printf("Error: %s\n", picture.Error.c_str());
        return kFailed;
    }
    if (!WritePicture(picture, out.TempPath()) || !CommitOutput(out, argv[3])) return kFailed;
    std::printf("%s\n", picture.Summary.c_str());
    return 0;
}

// In the child process of the time budget: draws and writes the picture.
int MakeThumbnail(const std::wstring& name, int size, const std::string& path)
{
    TPicture picture;
    if (!DrawThumbnail(name, size, size, picture)) {
        std::fprintf(stderr, "voxaro: no thumbnail: %s\n", picture.Error.c_str());
        return kFailed;
    }
    return WritePicture(picture, path) ? 0 : kFailed;
}

int Thumbnail(int argc, char** argv)
{
    TThumbnailOptions options;
    std::string problem;
    if (!ParseThumbnailOptions(argc, argv, 4, options, problem)) return Usage(problem);
    const std::wstring name = Utf8ToWide(argv[2]);
    problem = OutputIsInputProblem(name, argv[3]);
    if (!problem.empty()) return Usage(problem);
    TOutputFile out;
    if (!CreateOutput(out, argv[3])) return kFailed;
    const TBudgetOutcome outcome =
        RunWithinBudget(options.Timeout, [&] { return MakeThumbnail(name, options.Size, out.TempPath()); });
    switch (outcome.Kind) {
    case TBudgetOutcome::kExited:
        if (outcome.Code != 0) return outcome.Code;
        return CommitOutput(out, argv[3]) ? 0 : kFailed;
    case TBudgetOutcome::kTimedOut:
        std::fprintf(stderr, "voxaro: no thumbnail: not done within %g s\n", options.Timeout);
        return kTimedOut;
    case TBudgetOutcome::kCrashed:
        std::fprintf(stderr, "voxaro: no thumbnail: the drawing process ended by signal %d\n", outcome.Code);
        return kFailed;
    case TBudgetOutcome::kInterrupted:
        out.Discard();
        std::signal(outcome.Code, SIG_DFL);
        std::raise(outcome.Code);
        return kFailed;
    case TBudgetOutcome::kNoChild: break;
    }
    std::fprintf(stderr, "voxaro: no thumbnail: cannot start a process\n");
    return kFailed;
}

int Run(int argc, char** argv)
{
    const char* command = argc >= 2 ? argv[1] : "";
    if (!std::strcmp(command, "info") && argc == 3) {
        std::wstring name = Utf8ToWide(argv[2]);
        return IsGCodeFileName(name) ? InfoGCode(name) : InfoMesh(name);
    }
    if (!std::strcmp(command, "render") && argc >= 4) return Render(argc, argv);
    if (!std::strcmp(command, "thumbnail") && argc >= 4) return Thumbnail(argc, argv);
    if (!std::strcmp(command, "info") || !std::strcmp(command, "render") || !std::strcmp(command, "thumbnail"))
        return Usage(std::string(command) + ": missing or extra arguments");
    return Usage(*command ? std::string("unknown command '") + command + "'" : std::string());
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::printf("Error: %s\n", e.what());
        return kFailed;
    }
}
