// First loads as a user meets them: a new `voxaro info` process per load,
// raced in the same run against Assimp (bench/assimp_peer.cpp) on the same
// files. Each program's time on a 10-facet file is taken off its own time,
// which leaves the reading alone; medians of 11 runs, the two programs taking
// turns. Targets: ASCII STL 3x Assimp in both number styles, binary STL
// 2 GB/s; a 100 MB G-code file 500 MB/s. G-code has no importer to race:
// its line shows `cat` reading the same bytes from the page cache instead,
// what the bytes alone cost. ours_over_target is 1 or more when the target
// is met.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_files.h"

namespace {

using namespace voxaro;

constexpr int kRuns = 11;

// An ASCII STL in the layout exporters write, numbers printed with format.
std::string MakeAscii(const std::string& name, int facets, const char* format)
{
    const std::string path = bench::BenchPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string text = "solid bench\n";
    bench::TBenchRandom rnd;
    auto triple = [&](const char* prefix) {
        char line[200];
        char number[3][64];
        for (char* n : number)
            std::snprintf(n, 64, format, static_cast<double>(rnd.Coord()));
        text.append(line, static_cast<size_t>(std::snprintf(line, sizeof line, "%s %s %s %s\n", prefix, number[0],
                                                            number[1], number[2])));
    };
    for (int f = 0; f < facets; ++f) {
        triple("  facet normal");
        text += "    outer loop\n";
        for (int k = 0; k < 3; ++k)
            triple("      vertex");
        text += "    endloop\n  endfacet\n";
        if (text.size() > (1u << 20)) out.write(text.data(), static_cast<std::streamsize>(text.size())), text.clear();
    }
    text += "endsolid bench\n";
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return out ? path : std::string();
}

double Seconds(const std::vector<std::string>& args, bool& ok)
{
    const auto start = std::chrono::steady_clock::now();
    ok = bench::RunProgram(args) == 0 && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Reading time of one program: its median on the file less its median on
// the small one.
struct TProgram {
    std::vector<std::string> Command;
    std::vector<double> Big, Small;
    double Net() const { return std::max(1e-6, Median(Big) - Median(Small)); }
};

// What ours is raced against, and the target.
struct TRace {
    enum { Assimp, PageCache } Peer;
    double TargetRatio;   // Assimp's time over ours, or 0
    double TargetMBperS;  // or 0
};

void BM_FirstLoad(benchmark::State& state, std::string (*makeFile)(), std::string (*makeSmall)(), TRace race)
{
    const std::string file = makeFile(), small = makeSmall();  // made once, outside the timing
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const double bytes = static_cast<double>(in.tellg());
    std::vector<TProgram> programs{{{VOXARO_CLI, "info"}, {}, {}}};
    if (race.Peer == TRace::PageCache) programs.push_back({{"/bin/cat"}, {}, {}});
#ifdef VOXARO_ASSIMP_PEER
    if (race.Peer == TRace::Assimp) programs.push_back({{VOXARO_ASSIMP_PEER}, {}, {}});
#endif
    bool ok = !file.empty() && !small.empty();
    for (auto _ : state)
        for (int run = 0; run < kRuns && ok; ++run)
            for (TProgram& p : programs) {
                std::vector<std::string> args = p.Command;
                args.push_back(file);
                p.Big.push_back(Seconds(args, ok));
                args.back() = small;
                p.Small.push_back(Seconds(args, ok));
            }
    if (!ok) {
        state.SkipWithError("a program failed on the file");
        return;
    }
    state.counters["file_MB"] = bytes / 1e6;
    state.counters["ours_ms"] = programs[0].Net() * 1e3;
    const double ours = bytes / 1e6 / programs[0].Net();
    state.counters["ours_MB_per_s"] = ours;
    if (race.TargetMBperS > 0) state.counters["ours_over_target"] = ours / race.TargetMBperS;
    if (programs.size() < 2) return;
    if (race.Peer == TRace::PageCache) {
        state.counters["cat_MB_per_s"] = bytes / 1e6 / programs[1].Net();
        return;
    }
    const double peerOverOurs = programs[1].Net() / programs[0].Net();
    state.counters["assimp_ms"] = programs[1].Net() * 1e3;
    state.counters["assimp_over_ours"] = peerOverOurs;
    if (race.TargetRatio > 0) state.counters["ours_over_target"] = peerOverOurs / race.TargetRatio;
}

std::string AsciiE()
{
    return MakeAscii("peer_e.stl", 200000, "%e");
}
std::string AsciiShort()
{
    return MakeAscii("peer_short.stl", 200000, "%.1f");
}
std::string AsciiSmall()
{
    return MakeAscii("peer_small.stl", 10, "%e");
}
std::string Binary()
{
    return bench::MakeBinaryStl("peer_binary.stl", 1000000);
}
std::string BinarySmall()
{
    return bench::MakeBinaryStl("peer_binary_small.stl", 10);
}
std::string GCode()
{
    return bench::MakeSlicerGCode("peer_100MB.gcode", 100ull * 1000 * 1000);
}
std::string GCodeSmall()
{
    return bench::MakeSlicerGCode("peer_small.gcode", 2000);
}

}  // namespace

constexpr TRace kAsciiRace{TRace::Assimp, 3, 0}, kBinaryRace{TRace::Assimp, 0, 2000},
    kGCodeRace{TRace::PageCache, 0, 500};

BENCHMARK_CAPTURE(BM_FirstLoad, ascii_stl_e, &AsciiE, &AsciiSmall, kAsciiRace)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FirstLoad, ascii_stl_short, &AsciiShort, &AsciiSmall, kAsciiRace)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FirstLoad, binary_stl, &Binary, &BinarySmall, kBinaryRace)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FirstLoad, gcode, &GCode, &GCodeSmall, kGCodeRace)->Iterations(1)->Unit(benchmark::kMillisecond);
