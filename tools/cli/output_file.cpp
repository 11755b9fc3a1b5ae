#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a name that is a symbolic link stands for: the rename must
// replace the link's target, not the link. A link to a file still to be made
// is followed by hand, as realpath wants the file to exist.
std::string LinkTarget(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {  // the system's own limit on a chain of links
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (char* real = realpath(path.c_str(), nullptr)) {
            const std::string target = real;
            std::free(real);
            return target;
        }
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return path;
        const std::string target(buffer.data(), static_cast<size_t>(n));
        path = target[0] == '/' ? target : FolderOf(path) + target;
    }
    return path;
}

}  // namespace

bool TOutputFile::Create(const std::string& path)
{
    Discard();
    Path_ = LinkTarget(path);
    const std::string folder = FolderOf(Path_);
    // Short enough for any file system's name limit with the dot and suffix.
    const std::string base = Path_.substr(folder.size()).substr(0, 200);
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
