// Big input files for the benchmarks, made once per run in a temporary folder.
#pragma once

#include <string>

namespace voxaro::bench {

// Path of name inside the benchmark's temporary folder (removed at exit).
std::string BenchPath(const std::string& name);
bool FileExists(const std::string& path);
// Peak resident set size of this process so far, in bytes (Linux).
long long PeakRssBytes();
// Lets the next PeakRssBytes() start from the current resident size.
void ResetPeakRss();
long long CurrentRssBytes();

}  // namespace voxaro::bench
