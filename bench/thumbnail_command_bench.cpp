// The voxaro thumbnail command end to end, as a file manager runs it (a new
// process: load, draw, PNG written), on a 50 MB binary STL (a finely
// tessellated torus of 1,000,000 triangles) and a 100 MB slicer-like G-code
// file. Target: well within the command's default time budget of 5 s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bench_files.h"

namespace {

using namespace voxaro;

constexpr double kPi = 3.14159265358979323846;

// 1000 x 500 quads of a torus around the Z axis, two triangles each.
std::string MakeTorusStl()
{
    const int nu = 1000, nv = 500;
    const std::string path = bench::BenchPath("torus_50MB.stl");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string header = "voxaro benchmark, torus";
    header.resize(80, ' ');
    const uint32_t count = 2u * nu * nv;
    out.write(header.data(), 80);
    out.write(reinterpret_cast<const char*>(&count), 4);  // little-endian host
    auto point = [&](int i, int j, float* p) {
        const double u = 2 * kPi * i / nu, v = 2 * kPi * j / nv, r = 40 + 15 * std::cos(v);
        p[0] = static_cast<float>(r * std::cos(u)), p[1] = static_cast<float>(r * std::sin(u));
        p[2] = static_cast<float>(15 * std::sin(v));
    };
    std::vector<char> chunk;
    auto triangle = [&chunk](const float* a, const float* b, const float* c) {
        chunk.insert(chunk.end(), 12, 0);  // no normal: the reader computes it
        for (const float* p : {a, b, c})
            chunk.insert(chunk.end(), reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(p + 3));
        chunk.insert(chunk.end(), 2, 0);  // attribute bytes
    };
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j) {
            float a[3], b[3], c[3], d[3];
            point(i, j, a), point(i + 1, j, b), point(i + 1, j + 1, c), point(i, j + 1, d);
            triangle(a, b, c);
            triangle(a, c, d);
        }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    return out ? path : std::string();
}

std::string MakeGCode()
{
    return bench::MakeSlicerGCode("slicer_100MB.gcode", 100ull * 1000 * 1000);
}

int RunThumbnailCommand(const std::string& file, const std::string& out)
{
    return bench::RunProgram({VOXARO_CLI, "thumbnail", file, out, "--size", "256"});
}

void BM_ThumbnailCommand(benchmark::State& state, std::string (*makeFile)())
{
    static std::string files[2];
    std::string& file = files[makeFile == &MakeGCode];
    if (file.empty()) file = makeFile();  // made once, outside the timing
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const double megabytes = static_cast<double>(in.tellg()) / 1e6;
    for (auto _ : state)
        if (RunThumbnailCommand(file, bench::BenchPath("thumbnail.png")) != 0) {
            state.SkipWithError("the command made no thumbnail");
            break;
        }
    state.counters["file_MB"] = megabytes;
}

}  // namespace

BENCHMARK_CAPTURE(BM_ThumbnailCommand, binary_stl, &MakeTorusStl)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ThumbnailCommand, gcode, &MakeGCode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
