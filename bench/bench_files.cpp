#include "bench_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace voxaro::bench {

namespace {
struct BenchFolder {
    std::filesystem::path Path;
    BenchFolder()
    {
        Path = std::filesystem::temp_directory_path() / ("voxaro-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Path);
    }
    ~BenchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
};
}  // namespace

std::string BenchPath(const std::string& name)
{
    static BenchFolder folder;
    return (folder.Path / name).string();
}

bool FileExists(const std::string& path)
{
    return std::filesystem::exists(path);
}

long long PeakRssBytes()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

void ResetPeakRss()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

long long CurrentRssBytes()
{
    long long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld %lld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

}  // namespace voxaro::bench
