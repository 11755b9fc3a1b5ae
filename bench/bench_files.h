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

// Runs a program with its arguments (args[0] is its path), output thrown
// away, and waits for it; its exit code, or -1 when it could not run.
int RunProgram(const std::vector<std::string>& args);

// Writes a PrusaSlicer-like print of about bytes into the benchmark's folder
// and returns its path (empty when it cannot be written).
std::string MakeSlicerGCode(const std::string& name, uint64_t bytes);

}  // namespace voxaro::bench
