// tools/fuzz.sh run over stand-in fuzzers (VOXARO_FUZZ_PROGRAMS): each one's
// units are held to 10 seconds, and one reported as slow fails the run even
// though libFuzzer itself exits 0 for it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>

#include "test_files.h"

namespace voxaro {
namespace {

using namespace voxaro::test;
namespace fs = std::filesystem;

// Writes stand-ins for the three fuzzers that note their arguments; the one
// named slow reports a slow unit as libFuzzer words it.
std::string FakeFuzzers(const std::string& slow)
{
    const std::string folder = TempDir() + "/fuzzers-" + (slow.empty() ? "ok" : slow);
    fs::create_directories(folder);
    for (const char* name : {"stl_fuzz", "gcode_fuzz", "step_fuzz"}) {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "#!/bin/sh\necho \"$@\" > \"$0.args\"\n"
                            << (slow == name ? "echo 'Slowest unit: 11 s:'\n" : "")
                            << "echo 'Done 10 runs in 1 second(s)'\n";
        chmod(path.c_str(), 0755);
    }
    return folder;
}

int RunFuzzScript(const std::string& programs, std::string& output)
{
    const fs::path root = fs::path(VOXARO_TEST_DATA).parent_path().parent_path();
    const std::string command =
        "VOXARO_FUZZ_PROGRAMS='" + programs + "' bash '" + (root / "tools/fuzz.sh").string() + "' 1 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        output += static_cast<char>(c);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FuzzScript, SlowUnitsFailTheRun)
{
    std::string output;
    const std::string fine = FakeFuzzers("");
    EXPECT_EQ(RunFuzzScript(fine, output), 0) << output;
    for (const char* name : {"stl_fuzz", "gcode_fuzz", "step_fuzz"})
        EXPECT_NE(ReadFileBytes(fine + "/" + name + ".args").find("-timeout=10 "), std::string::npos) << name;

    output.clear();
    EXPECT_EQ(RunFuzzScript(FakeFuzzers("gcode_fuzz"), output), 1) << output;
    EXPECT_NE(output.find("gcode_fuzz: an input took 10s or more"), std::string::npos) << output;
}

}  // namespace
}  // namespace voxaro
