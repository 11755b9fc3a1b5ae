// Load speed and memory of the STEP reader (parse, faces, triangulation):
//  - a large planar model written like a CAD exporter writes one: boxes with
//    shared vertices and edges, lines, planes and placements; 216,000 faces,
//    about 160 MB. Target: at least 50 MB/s, peak memory about 3x the file
//    plus the mesh;
//  - a 1.6 MB part made by OpenCASCADE (tests/data): well under 100 ms;
//  - one face of 100,000 corners;
//  - a 200 x 200 plate drilled with 400 round holes (tests/data), beside
//    OpenCASCADE's own reading of it (the test oracle, when it is built):
//    at least 20 times faster;
//  - one flat face with 10,000 square holes (the clipper's limit is 1000);
//  - the largest real CAD file of the shared folder, when it is there:
//    at least 30 MB/s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench_files.h"
#include "file_io.h"
#include "mesh_data.h"

namespace {

constexpr int kBoxes = 36000;
constexpr int kCircleCorners = 100000;
constexpr int kSquareHoles = 10000;

struct TBenchFile {
    std::string Path;
    uint64_t Bytes = 0;
};

// Appends "#id=text;" lines and hands out identifiers.
class TWriter {
public:
    explicit TWriter(const std::string& path) : Out_(path, std::ios::binary | std::ios::trunc)
    {
        Text_ = "ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\nDATA;\n";
    }
    int Add(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        char line[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        return AddText(line);
    }
    int AddText(const std::string& text)
    {
        Text_ += "#" + std::to_string(++Last_) + " = " + text + ";\n";
        if (Text_.size() > (1u << 20)) Flush();
        return Last_;
    }
    uint64_t Finish()
    {
        Text_ += "ENDSEC;\nEND-ISO-10303-21;\n";
        Flush();
        return Bytes_;
    }

private:
    void Flush()
    {
        Out_.write(Text_.data(), static_cast<std::streamsize>(Text_.size()));
        Bytes_ += Text_.size();
        Text_.clear();
    }
    std::ofstream Out_;
    std::string Text_;
    uint64_t Bytes_ = 0;
    int Last_ = 0;
};

// One box: 8 vertices, 12 edges on lines, 6 planar faces with their loops.
int WriteBox(TWriter& w, double x, double y, double z)
{
    int dirs[3];
    for (int k = 0; k < 3; ++k)
        dirs[k] = w.Add("DIRECTION('',(%d.,%d.,%d.))", k == 0, k == 1, k == 2);
    int points[8], vertices[8];
    for (int i = 0; i < 8; ++i) {
        points[i] = w.Add("CARTESIAN_POINT('',(%.6f,%.6f,%.6f))", x + (i & 1), y + ((i >> 1) & 1), z + ((i >> 2) & 1));
        vertices[i] = w.Add("VERTEX_POINT('',#%d)", points[i]);
    }
    // Edges join corners that differ in one bit, from the lower to the higher.
    int edge[8][8] = {};
    for (int a = 0; a < 8; ++a)
        for (int bit = 0; bit < 3; ++bit)
            if (!(a & (1 << bit))) {
                const int b = a | (1 << bit);
                const int line = w.Add("LINE('',#%d,#%d)", points[a], w.Add("VECTOR('',#%d,1.)", dirs[bit]));
                edge[a][b] = edge[b][a] = w.Add("EDGE_CURVE('',#%d,#%d,#%d,.T.)", vertices[a], vertices[b], line);
            }
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::string faces;
    for (const auto& q : quads) {
        int oriented[4];
        for (int k = 0; k < 4; ++k) {
            const int a = q[k], b = q[(k + 1) % 4];
            oriented[k] = w.Add("ORIENTED_EDGE('',*,*,#%d,%s)", edge[a][b], a < b ? ".T." : ".F.");
        }
        const int loop = w.Add("EDGE_LOOP('',(#%d,#%d,#%d,#%d))", oriented[0], oriented[1], oriented[2], oriented[3]);
        const int bound = w.Add("FACE_OUTER_BOUND('',#%d,.T.)", loop);
        const int plane =
            w.Add("PLANE('',#%d)", w.Add("AXIS2_PLACEMENT_3D('',#%d,#%d,#%d)", points[q[0]], dirs[2], dirs[0]));
        faces += (faces.empty() ? "#" : ",#") + std::to_string(w.Add("ADVANCED_FACE('',(#%d),#%d,.T.)", bound, plane));
    }
    const int shell = w.Add("CLOSED_SHELL('',(%s))", faces.c_str());
    return w.Add("MANIFOLD_SOLID_BREP('',#%d)", shell);
}

const TBenchFile& PlanarModel()
{
    static const TBenchFile file = [] {
        TBenchFile f;
        f.Path = voxaro::bench::BenchPath("planar.step");
        TWriter w(f.Path);
        std::string solids;
        for (int i = 0; i < kBoxes; ++i)
            solids += (solids.empty() ? "#" : ",#") + std::to_string(WriteBox(w, 2.0 * (i % 200), 2.0 * (i / 200), 0));
        const int origin = w.Add("CARTESIAN_POINT('',(0.,0.,0.))");
        const int placement = w.Add("AXIS2_PLACEMENT_3D('',#%d,$,$)", origin);
        w.AddText("ADVANCED_BREP_SHAPE_REPRESENTATION('',(" + solids + ",#" + std::to_string(placement) + "),$)");
        f.Bytes = w.Finish();
        return f;
    }();
    return file;
}

const TBenchFile& LargeFace()
{
    static const TBenchFile file = [] {
        TBenchFile f;
        f.Path = voxaro::bench::BenchPath("large_face.step");
        TWriter w(f.Path);
        std::string edges;
        int first = 0, previous = 0;
        for (int i = 0; i <= kCircleCorners; ++i) {
            int vertex = first;
            if (i < kCircleCorners) {
                const double a = i * 2 * M_PI / kCircleCorners;
                vertex = w.Add("VERTEX_POINT('',#%d)",
                               w.Add("CARTESIAN_POINT('',(%.9f,%.9f,0.))", 100 * std::cos(a), 100 * std::sin(a)));
            }
            if (i == 0) first = vertex;
            if (i > 0) {
                const int edge = w.Add("EDGE_CURVE('',#%d,#%d,$,.T.)", previous, vertex);
                edges += (edges.empty() ? "#" : ",#") + std::to_string(w.Add("ORIENTED_EDGE('',*,*,#%d,.T.)", edge));
            }
            previous = vertex;
        }
        const int loop = w.AddText("EDGE_LOOP('',(" + edges + "))");
        w.Add("ADVANCED_FACE('',(#%d),$,.T.)", w.Add("FACE_OUTER_BOUND('',#%d,.T.)", loop));
        f.Bytes = w.Finish();
        return f;
    }();
    return file;
}

const TBenchFile& ManyHoles()
{
    static const TBenchFile file = [] {
        TBenchFile f;
        f.Path = voxaro::bench::BenchPath("many_holes.step");
        TWriter w(f.Path);
        auto loop = [&](const double(&x)[4], const double(&y)[4]) {
            int v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = w.Add("VERTEX_POINT('',#%d)", w.Add("CARTESIAN_POINT('',(%.3f,%.3f,0.))", x[k], y[k]));
            int o[4];
            for (int k = 0; k < 4; ++k)
                o[k] =
                    w.Add("ORIENTED_EDGE('',*,*,#%d,.T.)", w.Add("EDGE_CURVE('',#%d,#%d,$,.T.)", v[k], v[(k + 1) % 4]));
            return w.Add("EDGE_LOOP('',(#%d,#%d,#%d,#%d))", o[0], o[1], o[2], o[3]);
        };
        std::string bounds =
            "#" + std::to_string(w.Add("FACE_OUTER_BOUND('',#%d,.T.)", loop({0, 300, 300, 0}, {0, 0, 300, 300})));
        for (int i = 0; i < kSquareHoles; ++i) {
            const double x = 1 + 3 * (i % 100), y = 1 + 3 * (i / 100);
            bounds += ",#" +
                      std::to_string(w.Add("FACE_BOUND('',#%d,.T.)", loop({x, x, x + 1, x + 1}, {y, y + 1, y + 1, y})));
        }
        w.AddText("ADVANCED_FACE('',(" + bounds + "),$,.T.)");
        f.Bytes = w.Finish();
        return f;
    }();
    return file;
}

TBenchFile FileOf(const std::string& path)
{
    TBenchFile f;
    f.Path = path;
    std::ifstream in(f.Path, std::ios::binary | std::ios::ate);
    f.Bytes = in ? static_cast<uint64_t>(in.tellg()) : 0;
    return f;
}

TBenchFile RealPart()
{
    return FileOf(std::string(VOXARO_TEST_DATA) + "/occt_perforated_plate.step");
}

// OpenCASCADE's read time of the file in milliseconds, from the oracle's
// line ("... read MS ..."), or -1 when the oracle is not there.
double OpenCascadeReadMs(const std::string& path)
{
    const std::string oracle = VOXARO_STEP_ORACLE;
    if (!voxaro::bench::FileExists(oracle)) return -1;
    FILE* pipe = popen(("'" + oracle + "' '" + path + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    char line[4096] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    const char* at = read ? std::strstr(line, " read ") : nullptr;
    return at ? std::atof(at + 6) : -1;
}

void LoadStep(benchmark::State& state, const TBenchFile& file)
{
    const std::wstring name = voxaro::Utf8ToWide(file.Path);
    static std::string error;
    voxaro::bench::ResetPeakRss();
    const double before = static_cast<double>(voxaro::bench::CurrentRssBytes());
    double meshBytes = 0, faces = 0, triangles = 0;
    for (auto _ : state) {
        voxaro::TMeshData mesh;
        if (!mesh.LoadFromFile(name, "")) {
            error = mesh.ErrorMsg;
            state.SkipWithError(error.c_str());
            break;
        }
        meshBytes = static_cast<double>(mesh.VertexCount) * sizeof(voxaro::TGLVertex) + mesh.Indices.size() * 4.0;
        faces = mesh.ObjectCount;
        triangles = mesh.IndexCount / 3;
        benchmark::DoNotOptimize(mesh.Vertices.data());
    }
    const double growth = static_cast<double>(voxaro::bench::PeakRssBytes()) - before;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Bytes));
    state.counters["file_MB"] = static_cast<double>(file.Bytes) / 1e6;
    state.counters["faces"] = faces;
    state.counters["triangles"] = triangles;
    state.counters["mesh_MB"] = meshBytes / 1e6;
    state.counters["peak_growth_MB"] = growth / 1e6;
    // Peak memory beyond the mesh, in multiples of the file's size.
    state.counters["x_file"] = (growth - meshBytes) / static_cast<double>(file.Bytes);
}

void BM_StepPlanarModel(benchmark::State& state)
{
    LoadStep(state, PlanarModel());
}
void BM_StepRealPart(benchmark::State& state)
{
    LoadStep(state, RealPart());
}
void BM_StepLargeFace(benchmark::State& state)
{
    LoadStep(state, LargeFace());
}

void BM_StepDrilledPlate(benchmark::State& state)
{
    const TBenchFile file = FileOf(std::string(VOXARO_TEST_DATA) + "/occt_plate_400_holes.step");
    const auto start = std::chrono::steady_clock::now();
    LoadStep(state, file);
    const double ours = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
                        static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    const double occt = OpenCascadeReadMs(file.Path);
    if (occt < 0) return;
    state.counters["occt_read_ms"] = occt;
    state.counters["x_faster"] = occt / ours;  // OpenCASCADE's read against our whole load
}
void BM_StepManyHoles(benchmark::State& state)
{
    LoadStep(state, ManyHoles());
}
void BM_StepLargestRealFile(benchmark::State& state)
{
    const TBenchFile file = FileOf(std::string(VOXARO_WORLD_DIR) + "/creo2017_valve_index_frunk_assembly_11mb.stp");
    if (file.Bytes == 0) {
        state.SkipWithError("the shared world folder is not there");
        return;
    }
    LoadStep(state, file);
}

BENCHMARK(BM_StepDrilledPlate)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_StepManyHoles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_StepLargestRealFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_StepPlanarModel)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_StepRealPart)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_StepLargeFace)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
