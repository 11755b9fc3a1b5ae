// Big toolpaths, frame by frame: the view's frame after a small turn of the
// camera, drawn the way it is drawn now (vertex arrays, compiled into display
// lists in idle time after the first frame) and the way it was (immediate
// mode), side by side in one run.
//   - through a GL table that only counts calls: GL calls per frame and our
//     own CPU time per frame (what a real driver's frame costs us);
//   - through OSMesa at 800 x 600: the first frame, the idle compilation and
//     a frame after a turn; also with arrays streamed and no lists.
// Prints of about 100k, 1M and 3M moves, the view's default options.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "GCodeParser.h"
#include "bench_files.h"
#include "file_io.h"
#include "gcode_renderer.h"
#include "immediate_toolpath.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"

namespace {

using namespace voxaro;

constexpr int kWidth = 800, kHeight = 600;
// About 27 bytes per move in the slicer-like writer's output.
constexpr uint64_t kBytesPerMove = 27;
const int kMoveCounts[] = {100000, 1000000, 3000000};

const TGCodeParser* BigToolpath(int index)
{
    static std::unique_ptr<TGCodeParser> parsers[3];
    if (!parsers[index]) {
        const int moves = kMoveCounts[index];
        const std::string name = "toolpath_" + std::to_string(moves) + ".gcode";
        const std::string path = bench::MakeSlicerGCode(name, moves * kBytesPerMove);
        auto parser = std::make_unique<TGCodeParser>();
        if (path.empty() || !parser->LoadFromFile(Utf8ToWide(path))) return nullptr;
        parsers[index] = std::move(parser);
    }
    return parsers[index].get();
}

// The view as after loading: fitted, default angles, print and lighting on.
TGCodeFrame ViewFrame(const TGCodeParser& parser)
{
    TGCodeFrame f;
    f.Parser = &parser;
    FitGCodeCamera(f.Camera, &parser);
    ResetGCodeAngles(f.Camera);
    f.Options.ShowPrint = f.Options.Lighting = true;
    f.Width = kWidth, f.Height = kHeight;
    return f;
}

// A GL table whose entries count their calls and do nothing else; lists get
// names as a driver would give them.
uint64_t gCalls = 0;
GLuint gLastList = 0;

template <typename F> struct TCounted;
template <typename R, typename... A> struct TCounted<R(VOXARO_GLAPI*)(A...)> {
    static R VOXARO_GLAPI Call(A...)
    {
        ++gCalls;
        return R();
    }
};

TGLApi CountingApi()
{
    TGLApi api;
#define VOXARO_GL_COUNT(ret, name, params) api.name = &TCounted<decltype(api.name)>::Call;
    VOXARO_GL_FUNCTIONS(VOXARO_GL_COUNT)
#undef VOXARO_GL_COUNT
    api.GenLists = [](GLsizei range) -> GLuint {
        ++gCalls;
        const GLuint first = gLastList + 1;
        gLastList += static_cast<GLuint>(range);
        return first;
    };
    return api;
}

void Turn(TGCodeFrame& f)
{
    f.Camera.CamYaw += 0.01;
}

void ReportSize(benchmark::State& state, const TGCodeParser& parser)
{
    state.counters["moves"] = parser.MoveCount;
}

void ReportCache(benchmark::State& state, const TToolpathCache& cache)
{
    state.counters["chunks"] = cache.Stats().Chunks;
    state.counters["listed"] = cache.Stats().Listed;
    state.counters["list_MB"] = static_cast<double>(cache.Stats().ListBytes) / 1e6;
}

// range(0): which print; range(1): 0 immediate mode, 1 arrays and lists.
void BM_ToolpathFrameCalls(benchmark::State& state)
{
    const TGCodeParser* parser = BigToolpath(static_cast<int>(state.range(0)));
    if (!parser) return state.SkipWithError("cannot write or load the print");
    const bool batched = state.range(1) == 1;
    const TGLApi gl = CountingApi();
    TToolpathCache cache;
    TGCodeFrame f = ViewFrame(*parser);
    if (batched) {
        f.Cache = &cache;
        DrawGCodeFrame(gl, f);
        while (CompileGCodeLists(gl, f, 1.0)) {
        }
    }
    for (auto _ : state) {
        Turn(f);
        gCalls = 0;
        batched ? DrawGCodeFrame(gl, f) : reference::DrawImmediateFrame(gl, f);
    }
    ReportSize(state, *parser);
    state.counters["calls_per_frame"] = static_cast<double>(gCalls);
    if (batched) ReportCache(state, cache);
    state.SetLabel(batched ? "arrays and lists" : "immediate");
}

double Milliseconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void BM_ToolpathFrameOSMesa(benchmark::State& state)
{
    const TGCodeParser* parser = BigToolpath(static_cast<int>(state.range(0)));
    TOffscreenGL gl;
    if (!parser || !gl.Create(kWidth, kHeight)) return state.SkipWithError("cannot set up");
    InitGLState(gl.Api(), 0);
    const bool batched = state.range(1) >= 1;
    TToolpathCache cache(state.range(1) == 2 ? 0 : DefaultListBudget());
    TGCodeFrame f = ViewFrame(*parser);
    if (batched) f.Cache = &cache;
    auto draw = [&] {
        batched ? DrawGCodeFrame(gl.Api(), f) : reference::DrawImmediateFrame(gl.Api(), f);
        gl.Api().Finish();
    };
    bench::ResetPeakRss();
    const long long before = bench::CurrentRssBytes();
    const auto start = std::chrono::steady_clock::now();
    draw();
    state.counters["first_frame_ms"] = Milliseconds(start);
    const auto idle = std::chrono::steady_clock::now();
    while (CompileGCodeLists(gl.Api(), f, 1.0)) {
    }
    gl.Api().Finish();
    state.counters["idle_compile_ms"] = Milliseconds(idle);
    state.counters["rss_growth_MB"] = static_cast<double>(bench::PeakRssBytes() - before) / 1e6;
    state.counters["rss_held_MB"] = static_cast<double>(bench::CurrentRssBytes() - before) / 1e6;
    for (auto _ : state) {
        Turn(f);
        draw();
    }
    ReportSize(state, *parser);
    if (batched) ReportCache(state, cache);
    state.SetLabel(state.range(1) == 2 ? "arrays, streamed" : batched ? "arrays and lists" : "immediate");
}

}  // namespace

BENCHMARK(BM_ToolpathFrameCalls)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"print", "lists"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToolpathFrameOSMesa)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->ArgNames({"print", "lists"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
