#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voxaro {

namespace {

mode_t CurrentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

bool TOutputFile::Create(const std::string& path)
{
    Discard();
    Path_ = path;
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // Short enough for any file system's name limit with the dot and suffix.
    const std::string base = (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200);
    const std::string pattern = folder + "." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        Error_ = std::strerror(errno);
        return false;
    }
    fchmod(fd, 0666 & ~CurrentUmask());  // mkstemp makes it private to the owner
    close(fd);
    Temp_ = name.data();
    return true;
}

bool TOutputFile::Commit()
{
    if (Temp_.empty()) return false;
    if (std::rename(Temp_.c_str(), Path_.c_str()) != 0) {
        Error_ = std::strerror(errno);
        Discard();
        return false;
    }
    Temp_.clear();
    return true;
}

void TOutputFile::Discard()
{
    if (!Temp_.empty()) unlink(Temp_.c_str());
    Temp_.clear();
}

}  // namespace voxaro
