#include "shared_library.h"

#include <cerrno>
#include <dlfcn.h>
#include <unistd.h>

namespace voxaro {

bool TSharedLibrary::Load(const std::string& utf8Path)
{
    Unload();
    errno = 0;
    Handle_ = ::dlopen(utf8Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle_) {
        // dlopen reports through dlerror(); errno usually holds the cause of
        // a file that could not be opened, ENOENT otherwise.
        LastError_ = errno ? static_cast<uint32_t>(errno) : ENOENT;
        ::dlerror();
        return false;
    }
    return true;
}

void* TSharedLibrary::Resolve(const char* name) const
{
    return Handle_ ? ::dlsym(Handle_, name) : nullptr;
}

void TSharedLibrary::Unload()
{
    if (Handle_) ::dlclose(Handle_);
    Handle_ = nullptr;
}

std::string Lib3mfLibraryPath(const std::string& folder)
{
    return folder + "lib3mf.so";
}

std::string ProgramFolder()
{
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return {};
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace voxaro
