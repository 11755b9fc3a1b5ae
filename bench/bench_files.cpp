#include "bench_files.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "mesh_data.h"

extern char** environ;

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

void TBenchRandom::Normal(float n[3])
{
    n[0] = Coord();
    n[1] = Coord();
    n[2] = Coord();
    NormalizeVector(n[0], n[1], n[2]);
}

std::string MakeBinaryStl(const std::string& name, uint32_t triangles)
{
    const std::string path = BenchPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string header = "voxaro benchmark, binary";
    header.resize(80, ' ');
    out.write(header.data(), 80);
    const unsigned char count[4] = {static_cast<unsigned char>(triangles), static_cast<unsigned char>(triangles >> 8),
                                    static_cast<unsigned char>(triangles >> 16),
                                    static_cast<unsigned char>(triangles >> 24)};
    out.write(reinterpret_cast<const char*>(count), 4);
    TBenchRandom rnd;
    std::vector<char> chunk;
    for (uint32_t i = 0; i < triangles; ++i) {
        float rec[12];
        rnd.Normal(rec);
        for (int k = 3; k < 12; ++k)
            rec[k] = rnd.Coord();
        const char* p = reinterpret_cast<const char*>(rec);
        chunk.insert(chunk.end(), p, p + sizeof rec);
        chunk.insert(chunk.end(), 2, 0);  // attribute bytes
        if (chunk.size() >= (1u << 20)) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    return out ? path : std::string();
}

int RunProgram(const std::vector<std::string>& args)
{
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace voxaro::bench
