// Big input files for the benchmarks, made once per run in a temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voxaro::bench {

// Path of name inside the benchmark's temporary folder (removed at exit).
std::string BenchPath(const std::string& name);
bool FileExists(const std::string& path);
// Peak resident set size of this process so far, in bytes (Linux).
long long PeakRssBytes();
// Lets the next PeakRssBytes() start from the current resident size.
void ResetPeakRss();
long long CurrentRssBytes();

// Deterministic coordinates in [-100, 100) and unit normals (xorshift32).
class TBenchRandom {
public:
    float Coord() { return static_cast<float>(Next() >> 8) * (200.0f / 16777216.0f) - 100.0f; }
    void Normal(float n[3]);

private:
    uint32_t Next()
    {
        State_ ^= State_ << 13;
        State_ ^= State_ >> 17;
        State_ ^= State_ << 5;
        return State_;
    }
    uint32_t State_ = 2463534242u;
};

// Writes a binary STL of random triangles (TBenchRandom) into the benchmark's
// folder and returns its path (empty when it cannot be written).
std::string MakeBinaryStl(const std::string& name, uint32_t triangles);

// Runs a program with its arguments (args[0] is its path), output thrown
// away, and waits for it; its exit code, or -1 when it could not run.
int RunProgram(const std::vector<std::string>& args);

// Writes a PrusaSlicer-like print of about bytes into the benchmark's folder
// and returns its path (empty when it cannot be written).
std::string MakeSlicerGCode(const std::string& name, uint64_t bytes);

}  // namespace voxaro::bench
