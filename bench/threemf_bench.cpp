// What the 3MF reader adds on top of lib3mf's own reading. A package of about
// 1,000,000 triangles (a wavy 708 x 708 grid, written once with Debian's lib3mf
// 1.8.1) is read through the 2.x adapter (tests/lib3mf) in two ways per
// iteration: the library alone (load, create a model, read the file) and the
// whole reader (the same plus both passes and the mesh). Target: the reader
// adds less than 20 %. A second package gives every triangle a material
// (flat layout, a colour look-up per triangle), for comparison. Each package
// places its grid by one build item. A third places a grid of about 100,000
// triangles by 10 build items: its arrays are fetched from the library once
// (a second fetch fails the run) and written at 10 places.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "bench_files.h"
#include "file_io.h"
#include "fixture_writer.h"
#include "lib3mf_binding.h"
#include "mesh_data.h"
#include "shared_library.h"

namespace {

constexpr uint32_t kGrid = 708;        // 2 x 707 x 707 = 999,698 triangles
constexpr uint32_t kPlacedGrid = 225;  // 2 x 224 x 224 = 100,352 triangles
constexpr uint32_t kPlacements = 10;
const std::string kAdapter = VOXARO_BENCH_LIB3MF_DIR;
// A fetch of an array is a size query and a fill: a third call would be a second fetch.
const char kOneFetch[] = "fail=lib3mf_meshobject_getvertices@3 fail=lib3mf_meshobject_gettriangleindices@3";

struct TBenchModel {
    std::string Path;
    uint64_t Triangles = 0;  // drawn: the grid's at every place
    uint32_t Placements = 1;
    std::string Error;
};

// A wavy grid of grid x grid vertices, placed by placements build items side
// by side along x.
TBenchModel WriteGrid(const char* name, uint32_t grid, bool perTriangle, uint32_t placements = 1)
{
    TBenchModel model;
    voxaro::test181::TFixture f;
    f.Materials = {{200, 40, 40, 255}, {40, 200, 40, 255}, {40, 40, 200, 255}};
    f.Objects.resize(1);
    voxaro::test181::TFixtureObject& o = f.Objects[0];
    for (uint32_t y = 0; y < grid; ++y)
        for (uint32_t x = 0; x < grid; ++x)
            o.Vertices.push_back({{float(x), float(y), 3.0f * std::sin(x * 0.05f) * std::cos(y * 0.05f)}});
    for (uint32_t y = 0; y + 1 < grid; ++y)
        for (uint32_t x = 0; x + 1 < grid; ++x) {
            uint32_t a = y * grid + x, b = a + 1, c = a + grid, d = c + 1;
            o.Triangles.push_back({{a, b, d}});
            o.Triangles.push_back({{a, d, c}});
        }
    if (perTriangle) {
        o.Material = 0;
        for (size_t t = 0; t < o.Triangles.size(); ++t)
            o.TriangleMaterials.push_back(static_cast<int>((t / 64) % 3));
    }
    f.BuildEveryObject = false;
    for (uint32_t i = 0; i < placements; ++i) {
        voxaro::test181::TFixturePlacement item{0};
        item.Transform[9] = static_cast<float>(i * (grid + 10));
        f.Items.push_back(item);
    }
    model.Triangles = o.Triangles.size() * placements;
    model.Placements = placements;
    model.Path = voxaro::bench::BenchPath(name);
    voxaro::test181::Write3mf(f, model.Path, model.Error);
    return model;
}

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// lib3mf's own part: loading it and reading the package into its model.
void ReadWithLibraryOnly(const std::string& path)
{
    voxaro::lib3mf::TLibrary lib;
    lib.Load(voxaro::Lib3mfLibraryPath(kAdapter));
    voxaro::lib3mf::THandle model = lib.CreateModel();
    voxaro::lib3mf::THandle reader = lib.QueryReader(model, "3mf");
    lib.ReadFromFile(reader, path);
}

void ReaderOverhead(benchmark::State& state, const TBenchModel& model)
{
    if (!model.Error.empty()) {
        state.SkipWithError(model.Error.c_str());
        return;
    }
    static std::string error;  // outlives the state that reports it
    error.clear();
    const std::wstring name = voxaro::Utf8ToWide(model.Path);
    double library = 0, reader = 0;
    setenv("VOXARO_LIB3MF_FAULTS", kOneFetch, 1);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        ReadWithLibraryOnly(model.Path);
        library += Seconds(start);
        start = std::chrono::steady_clock::now();
        voxaro::TMeshData mesh;
        bool ok = mesh.LoadFromFile(name, kAdapter);
        reader += Seconds(start);
        if (!ok || static_cast<uint64_t>(mesh.IndexCount) != 3 * model.Triangles) {
            error = ok ? "unexpected result: " + mesh.InfoText : mesh.ErrorMsg;
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(mesh.Vertices.data());
    }
    unsetenv("VOXARO_LIB3MF_FAULTS");
    if (!error.empty()) return;
    const double n = static_cast<double>(state.iterations());
    state.counters["triangles"] = static_cast<double>(model.Triangles);
    state.counters["placements"] = model.Placements;
    state.counters["library_ms"] = library / n * 1e3;
    state.counters["reader_ms"] = reader / n * 1e3;
    state.counters["added_pct"] = (reader - library) / library * 100.0;
}

void BM_3mfReaderOverShared(benchmark::State& state)
{
    static const TBenchModel model = WriteGrid("grid.3mf", kGrid, false);
    ReaderOverhead(state, model);
}
void BM_3mfReaderOverFlatColoured(benchmark::State& state)
{
    static const TBenchModel model = WriteGrid("grid_coloured.3mf", kGrid, true);
    ReaderOverhead(state, model);
}
void BM_3mfReaderOverMeshPlacedTenTimes(benchmark::State& state)
{
    static const TBenchModel model = WriteGrid("grid_placed.3mf", kPlacedGrid, false, kPlacements);
    ReaderOverhead(state, model);
}

BENCHMARK(BM_3mfReaderOverShared)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_3mfReaderOverFlatColoured)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_3mfReaderOverMeshPlacedTenTimes)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
