// Load speed and memory of the STL readers on large generated files:
// a 1,000,000-triangle binary STL (50 MB) and an ASCII STL of about 55 MB in
// the layout common exporters write. Targets: binary >= 1 GB/s, ASCII >= 150 MB/s.
// Peak RSS is measured per benchmark (process total, and its growth since
// start-up per triangle); the mesh itself needs 96 bytes per triangle (three 28-byte vertex
// records and three 4-byte indices). The readers hold no copy of the file:
// they read it in blocks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_files.h"
#include "file_io.h"
#include "mesh_data.h"

namespace {

constexpr uint32_t kBinaryTriangles = 1000000;
constexpr uint64_t kAsciiBytes = 55ull * 1000 * 1000;
constexpr double kMeshBytesPerTriangle = 3 * sizeof(voxaro::TGLVertex) + 3 * sizeof(uint32_t);

struct TBenchFile {
    std::string Path;
    uint64_t Bytes = 0;
    uint64_t Triangles = 0;
};

const TBenchFile& BinaryFile()
{
    static const TBenchFile file = [] {
        TBenchFile f;
        f.Path = voxaro::bench::MakeBinaryStl("binary.stl", kBinaryTriangles);
        f.Triangles = kBinaryTriangles;
        f.Bytes = 84 + 50ull * kBinaryTriangles;
        return f;
    }();
    return file;
}

const TBenchFile& AsciiFile()
{
    static const TBenchFile file = [] {
        TBenchFile f;
        f.Path = voxaro::bench::BenchPath("ascii.stl");
        std::ofstream out(f.Path, std::ios::binary | std::ios::trunc);
        std::string chunk = "solid bench\n";
        auto appendf = [&chunk](const char* format, float x, float y, float z) {
            char line[160];
            chunk.append(line, static_cast<size_t>(std::snprintf(line, sizeof line, format, x, y, z)));
        };
        voxaro::bench::TBenchRandom rnd;
        while (f.Bytes + chunk.size() < kAsciiBytes) {
            float n[3];
            rnd.Normal(n);
            appendf("  facet normal %g %g %g\n    outer loop\n", n[0], n[1], n[2]);
            for (int k = 0; k < 3; ++k) {
                const float x = rnd.Coord(), y = rnd.Coord(), z = rnd.Coord();
                appendf("      vertex %g %g %g\n", x, y, z);
            }
            chunk += "    endloop\n  endfacet\n";
            ++f.Triangles;
            if (chunk.size() >= (1u << 20)) {
                out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                f.Bytes += chunk.size();
                chunk.clear();
            }
        }
        chunk += "endsolid bench\n";
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        f.Bytes += chunk.size();
        return f;
    }();
    return file;
}

// Resident size before any benchmark ran.
const long long kStartRss = voxaro::bench::CurrentRssBytes();

void LoadStl(benchmark::State& state, const TBenchFile& (*makeFile)())
{
    const TBenchFile& file = makeFile();  // made once, outside the timing
    const std::wstring name = voxaro::Utf8ToWide(file.Path);
    static std::string error;
    voxaro::bench::ResetPeakRss();
    for (auto _ : state) {
        voxaro::TMeshData mesh;
        if (!mesh.LoadFromFile(name, "") || static_cast<uint64_t>(mesh.IndexCount) != 3 * file.Triangles) {
            error = mesh.ErrorMsg.empty() ? "unexpected result: " + mesh.InfoText : mesh.ErrorMsg;
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(mesh.Vertices.data());
        benchmark::ClobberMemory();
    }
    const double peak = static_cast<double>(voxaro::bench::PeakRssBytes());
    const double triangles = static_cast<double>(file.Triangles);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Bytes));
    state.counters["file_MB"] = static_cast<double>(file.Bytes) / 1e6;
    state.counters["triangles"] = triangles;
    state.counters["peak_rss_MB"] = peak / 1e6;
    state.counters["mesh_MB_96B_per_tri"] = triangles * kMeshBytesPerTriangle / 1e6;
    // Growth of the resident size from start-up to this benchmark's peak, per
    // triangle (the allocator keeps some freed memory between loads, so the
    // growth seen from just before a load would understate it).
    state.counters["peak_growth_B_per_tri"] = (peak - static_cast<double>(kStartRss)) / triangles;
}

void BM_StlBinaryLoad(benchmark::State& state)
{
    LoadStl(state, BinaryFile);
}
void BM_StlAsciiLoad(benchmark::State& state)
{
    LoadStl(state, AsciiFile);
}

BENCHMARK(BM_StlBinaryLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_StlAsciiLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
