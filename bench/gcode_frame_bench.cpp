// Toolpath pictures of prints far beyond any bed, drawn through OSMesa: a
// frame of the view and a thumbnail. The floor grid under them is bounded, so
// they cost about what a small print costs (they used to take seconds at a
// span of 1e9 and never finished from about 1e17).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "GCodeParser.h"
#include "bench_files.h"
#include "file_io.h"
#include "gcode_renderer.h"
#include "mesh_renderer.h"
#include "osmesa_gl.h"
#include "thumbnail_renderer.h"

namespace {

using namespace voxaro;

constexpr int kWidth = 320, kHeight = 240;

// A printed line from (10, 10) to X = span.
bool LoadFarPrint(TGCodeParser& parser, const std::string& span)
{
    const std::string path = bench::BenchPath("far_" + span + ".gcode");
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        const std::string text = "G1 Z0.2\nG1 X10 Y10 E1\nG1 X" + span + " Y10 E2\n";
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return parser.LoadFromFile(Utf8ToWide(path)) && parser.MoveCount == 3;
}

// Spans of a real bed (200 mm), of 1e9 and of 1e20 (written out in full: an
// exponent is not part of a G-code number).
const char* const kSpans[] = {"200", "1000000000", "100000000000000000000"};

void BM_GCodeFarFrame(benchmark::State& state)
{
    TGCodeParser parser;
    TOffscreenGL gl;
    if (!LoadFarPrint(parser, kSpans[state.range(0)]) || !gl.Create(kWidth, kHeight)) {
        state.SkipWithError("cannot set up");
        return;
    }
    InitGLState(gl.Api(), 0);
    TGCodeFrame frame;
    frame.Parser = &parser;
    FitGCodeCamera(frame.Camera, &parser);
    ResetGCodeAngles(frame.Camera);
    frame.Options.ShowPrint = frame.Options.Lighting = true;
    frame.Width = kWidth, frame.Height = kHeight;
    for (auto _ : state) {
        DrawGCodeFrame(gl.Api(), frame);
        gl.Api().Finish();
    }
    state.SetLabel(std::string("X span ") + kSpans[state.range(0)]);
}

void BM_GCodeFarThumbnail(benchmark::State& state)
{
    TGCodeParser parser;
    TOffscreenGL gl;
    if (!LoadFarPrint(parser, kSpans[state.range(0)]) || !gl.Create(kWidth, kHeight)) {
        state.SkipWithError("cannot set up");
        return;
    }
    for (auto _ : state) {
        DrawGCodeThumbnail(gl.Api(), parser, false, kWidth, kHeight);
        gl.Api().Finish();
    }
    state.SetLabel(std::string("X span ") + kSpans[state.range(0)]);
}

}  // namespace

BENCHMARK(BM_GCodeFarFrame)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GCodeFarThumbnail)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
