#include "test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

}  // namespace voxaro::test
