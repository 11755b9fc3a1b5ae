// Our STEP reader against OpenCASCADE: for each STEP file made by
// tools/step_fixtures and each one in the shared world folder, the oracle's
// exact figures (faces, area, volume, box) and those of our mesh (step_facts)
// go through the oracles' compare_facts.py: geometry and colours.
//
// Files named in expected_pass.txt must match; the others are compared and
// reported (as skipped when short) without failing the run, while the reader
// learns their surfaces. The oracle's lines are kept in the build folder,
// keyed by the file's size and time, since it takes seconds on big files.
// Files over 8 MB are compared only with VOXARO_STEP_ORACLE_LARGE=1.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mesh_data.h"
#include "mesh_facts.h"

namespace voxaro {
namespace {

namespace fs = std::filesystem;

constexpr uintmax_t kLargeFileBytes = 8u << 20;
constexpr int kOracleSeconds = 300;
constexpr int kReaderSeconds = 120;

struct TCase {
    std::string Path;
    std::string Name;  // file name
};

// Cases show in gtest's messages by their file name.
void PrintTo(const TCase& c, std::ostream* os)
{
    *os << c.Name;
}

struct TRow {
    std::string File, Oracle, Ours, Verdict;
};

std::vector<TRow>& Rows()
{
    static std::vector<TRow> rows;
    return rows;
}

bool LargeFilesWanted()
{
    const char* v = std::getenv("VOXARO_STEP_ORACLE_LARGE");
    return v != nullptr && *v != '\0' && std::string(v) != "0";
}

std::vector<TCase> StepFiles(const std::string& dir, bool generatedOnly)
{
    std::vector<TCase> cases;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return cases;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext != ".step" && ext != ".stp") continue;
        if (generatedOnly && name.rfind("occt_", 0) != 0) continue;
        cases.push_back({e.path().string(), name});
    }
    std::sort(cases.begin(), cases.end(), [](const TCase& a, const TCase& b) { return a.Name < b.Name; });
    return cases;
}

std::set<std::string> ExpectedToPass()
{
    std::set<std::string> names;
    std::ifstream in(VOXARO_STEP_EXPECTED_PASS);
    for (std::string line; std::getline(in, line);) {
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (!line.empty() && line[0] != '#') names.insert(line);
    }
    return names;
}

std::string Quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The standard output of a shell command and its exit status.
std::string RunCommand(const std::string& command, int& status)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) {
        status = -1;
        return out;
    }
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int raw = pclose(p);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// The last line of text that starts with one of the prefixes, or "".
std::string LastLine(const std::string& text, std::initializer_list<const char*> prefixes)
{
    std::istringstream in(text);
    std::string found;
    for (std::string line; std::getline(in, line);)
        for (const char* p : prefixes)
            if (line.rfind(p, 0) == 0) found = line;
    return found;
}

// The oracle's line for a file ("faces ..."), or "oracle failed ..." when it
// cannot read it; either is cached.
std::string OracleLine(const TCase& c)
{
    struct stat st {};
    if (stat(c.Path.c_str(), &st) != 0) return "oracle failed: cannot stat the file";
    const std::string cache = std::string(VOXARO_STEP_ORACLE_CACHE) + "/" + c.Name + "." + std::to_string(st.st_size) +
                              "." + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
                              ".txt";
    {
        std::ifstream in(cache);
        std::string line;
        if (std::getline(in, line) && !line.empty()) return line;
    }
    int status = 0;
    const std::string out = RunCommand("timeout " + std::to_string(kOracleSeconds) + " " + Quoted(VOXARO_STEP_EXACT) +
                                           " " + Quoted(c.Path) + " 2>/dev/null",
                                       status);
    std::string line = LastLine(out, {"faces "});
    if (status != 0 || line.empty()) line = "oracle failed with status " + std::to_string(status);
    std::error_code ec;
    fs::create_directories(VOXARO_STEP_ORACLE_CACHE, ec);
    std::ofstream(cache) << line << "\n";
    return line;
}

std::string OurLine(const TCase& c)
{
    int status = 0;
    const std::string out = RunCommand("timeout " + std::to_string(kReaderSeconds) + " " + Quoted(VOXARO_STEP_FACTS) +
                                           " " + Quoted(c.Path) + " 2>/dev/null",
                                       status);
    const std::string line = LastLine(out, {"faces ", "error "});
    if (status == 124) return "error: no result within " + std::to_string(kReaderSeconds) + " s";
    if (line.empty()) return "error: step_facts ended with status " + std::to_string(status);
    return line;
}

// "faces N area A volume V" of a facts line, or the line itself.
std::string Figures(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> t;
    for (std::string w; in >> w && t.size() < 6;)
        t.push_back(w);
    if (t.size() < 6 || t[0] != "faces") return line;
    return t[1] + " / " + t[3] + " / " + t[5];
}

class StepOracle : public testing::TestWithParam<TCase> {};

TEST_P(StepOracle, MatchesTheOracle)
{
    const TCase& c = GetParam();
    const bool expected = ExpectedToPass().count(c.Name) > 0;
    TRow& row = Rows().emplace_back(TRow{c.Name, "", "", ""});
    if (!fs::exists(VOXARO_ORACLES_DIR "/compare_facts.py")) {
        row.Verdict = "skipped: no oracles folder";
        GTEST_SKIP() << VOXARO_ORACLES_DIR << " is absent: no oracle to compare with";
    }
    if (std::string(VOXARO_STEP_EXACT).empty()) {
        row.Verdict = "skipped: no oracle built";
        GTEST_SKIP() << "OpenCASCADE was not found when the build was configured: the oracle is not built";
    }
    std::error_code ec;
    if (fs::file_size(c.Path, ec) > kLargeFileBytes && !LargeFilesWanted()) {
        row.Verdict = "skipped: over 8 MB";
        GTEST_SKIP() << "over 8 MB: compared only with VOXARO_STEP_ORACLE_LARGE=1";
    }

    const std::string oracle = OracleLine(c);
    row.Oracle = Figures(oracle);
    const std::string ours = OurLine(c);
    row.Ours = Figures(ours);
    if (oracle.rfind("faces ", 0) != 0) {
        row.Verdict = "skipped: " + oracle;
        if (expected) FAIL() << c.Name << ": " << oracle;
        GTEST_SKIP() << "the oracle cannot read this file (" << oracle << "); ours: " << ours;
    }

    int status = 0;
    std::string verdict = RunCommand("python3 " + Quoted(VOXARO_ORACLES_DIR "/compare_facts.py") + " " +
                                         Quoted(oracle) + " " + Quoted(ours.rfind("faces ", 0) == 0 ? ours : "-"),
                                     status);
    verdict = verdict.substr(0, verdict.find_first_of("\t\n"));
    if (verdict.empty()) verdict = "short: compare_facts.py gave nothing (status " + std::to_string(status) + ")";
    if (ours.rfind("error", 0) == 0) verdict = "short: the reader gives no mesh";
    row.Verdict = verdict + (expected ? "" : " (not expected yet)");
    const std::string figures = "\n  oracle: " + oracle + "\n  ours:   " + ours;
    if (verdict == "ok") {
        if (!expected) std::printf("%s matches the oracle now: add it to expected_pass.txt\n", c.Name.c_str());
        return;
    }
    if (expected) FAIL() << c.Name << ": " << verdict << figures;
    GTEST_SKIP() << verdict << " (not expected to pass yet)" << figures;
}

std::string CaseName(const testing::TestParamInfo<TCase>& info)
{
    std::string name = info.param.Name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, StepOracle, testing::ValuesIn(StepFiles(VOXARO_TEST_DATA, true)), CaseName);
INSTANTIATE_TEST_SUITE_P(World, StepOracle, testing::ValuesIn(StepFiles(VOXARO_WORLD_DIR, false)), CaseName);

TEST(StepOracleCases, WorldFolderAndExpectedList)
{
    // Every name in expected_pass.txt is a file that is compared, so that a
    // misspelt or vanished name cannot hide a case.
    const bool world = fs::is_directory(VOXARO_WORLD_DIR);
    std::set<std::string> known;
    for (const TCase& c : StepFiles(VOXARO_TEST_DATA, true))
        known.insert(c.Name);
    for (const TCase& c : StepFiles(VOXARO_WORLD_DIR, false))
        known.insert(c.Name);
    for (const std::string& name : ExpectedToPass()) {
        if (world || fs::exists(std::string(VOXARO_TEST_DATA) + "/" + name)) {
            EXPECT_TRUE(known.count(name)) << "expected_pass.txt names " << name << ", which is not compared";
        }
    }
    if (!world) GTEST_SKIP() << VOXARO_WORLD_DIR << " is absent: the real CAD files are not compared";
}

// The figures themselves, on a unit cube whose triangles are wound either
// way: the vertex normals decide which way each one faces.
TEST(StepOracleFacts, CubeFiguresFollowTheNormals)
{
    const float c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};
    for (const float sign : {1.0f, -1.0f}) {
        TMeshData mesh;
        ASSERT_TRUE(mesh.Allocate(36, 36));
        mesh.ObjectCount = 6;
        for (int f = 0; f < 6; ++f) {
            const float n[3] = {sign * normals[f][0], sign * normals[f][1], sign * normals[f][2]};
            const int q[6] = {quads[f][0], quads[f][1], quads[f][2], quads[f][0], quads[f][2], quads[f][3]};
            for (int k = 0; k < 6; ++k) {
                // Every other face is wound clockwise as seen from outside.
                const int corner = f % 2 ? q[5 - k] : q[k];
                SetGLVertex(mesh.Vertices[f * 6 + k], n, c[corner], f < 2 ? 200 : kDefaultGrey, 10, 10);
                mesh.Indices[f * 6 + k] = f * 6 + k;
            }
        }
        TMeshFacts facts;
        std::string error;
        ASSERT_TRUE(MeasureMesh(mesh, facts, error)) << error;
        EXPECT_EQ(facts.Faces, 6);
        EXPECT_NEAR(facts.Area, 6.0, 1e-9);
        EXPECT_NEAR(facts.Volume, sign, 1e-9);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(facts.Box[k], 0.0);
            EXPECT_EQ(facts.Box[k + 3], 1.0);
        }
        EXPECT_NEAR(facts.Colours["C80A0A"], 2.0 / 6, 1e-9);
        EXPECT_NEAR(facts.Colours["A00A0A"], 4.0 / 6, 1e-9);

        mesh.Indices[7] = 36;
        EXPECT_FALSE(MeasureMesh(mesh, facts, error));
    }
}

// Prints the table of every file compared and keeps it beside the cache.
class TReport : public testing::Environment {
public:
    void TearDown() override
    {
        if (Rows().empty()) return;
        const std::string head[4] = {"file", "oracle faces / area / volume", "ours faces / area / volume", "verdict"};
        size_t w[3] = {head[0].size(), head[1].size(), head[2].size()};
        for (const TRow& r : Rows())
            w[0] = std::max(w[0], r.File.size()), w[1] = std::max(w[1], r.Oracle.size()),
            w[2] = std::max(w[2], r.Ours.size());
        std::ostringstream out;
        auto line = [&](const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
            out << a << std::string(w[0] - a.size() + 2, ' ') << b << std::string(w[1] - b.size() + 2, ' ') << c
                << std::string(w[2] - c.size() + 2, ' ') << d << "\n";
        };
        line(head[0], head[1], head[2], head[3]);
        for (const TRow& r : Rows())
            line(r.File, r.Oracle, r.Ours, r.Verdict);
        std::printf("\n%s", out.str().c_str());
        std::error_code ec;
        fs::create_directories(VOXARO_STEP_ORACLE_CACHE, ec);
        std::ofstream(std::string(VOXARO_STEP_ORACLE_CACHE) + "/../step_oracle_report.txt") << out.str();
    }
};

const testing::Environment* const kReport = testing::AddGlobalTestEnvironment(new TReport);

}  // namespace
}  // namespace voxaro
