#include "test_files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "file_io.h"

namespace voxaro::test {

namespace {
struct TempFolder {
    std::filesystem::path Path;
    TempFolder()
    {
        Path = std::filesystem::temp_directory_path() / ("voxaro-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Path);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
};
TempFolder& Folder()
{
    static TempFolder folder;
    return folder;
}
}  // namespace

std::string TempDir()
{
    return Folder().Path.string();
}

std::string WriteTempFile(const std::string& name, const std::string& bytes)
{
    std::string path = (Folder().Path / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string DataFile(const std::string& name)
{
    return std::string(VOXARO_TEST_DATA) + "/" + name;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::wstring Wide(const std::string& utf8)
{
    return Utf8ToWide(utf8);
}

void RunWithTimeout(double seconds, const char* what, std::function<void()> body)
{
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    std::thread([body = std::move(body), finished] {
        body();
        finished->set_value();
    }).detach();
    if (done.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready) return;
    std::fprintf(stderr, "FAILED: %s did not finish within %g s (a hang); the test program stops here\n", what,
                 seconds);
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace voxaro::test
