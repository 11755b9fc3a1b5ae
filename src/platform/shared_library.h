// Shared libraries loaded at run time by path and resolved by name. One
// implementation per platform (shared_library_win.cpp over LoadLibraryW,
// shared_library_posix.cpp over dlopen).
#pragma once

#include <cstdint>
#include <string>

namespace voxaro {

class TSharedLibrary {
public:
    TSharedLibrary() = default;
    ~TSharedLibrary() { Unload(); }
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // Loads the library at a UTF-8 path (a bare name goes through the system's
    // search). On failure returns false and LastError() holds the system's code.
    bool Load(const std::string& utf8Path);
    bool IsLoaded() const { return Handle_ != nullptr; }
    // Address of an exported function, or null.
    void* Resolve(const char* name) const;
    // Gives the library back to the system; safe to call when not loaded.
    void Unload();
    uint32_t LastError() const { return LastError_; }

private:
    void* Handle_ = nullptr;
    uint32_t LastError_ = 0;
};

// Where this build of the program looks for lib3mf inside folder (which ends
// in a path separator, or is empty for the system's search).
std::string Lib3mfLibraryPath(const std::string& folder);

// Folder of the running executable as UTF-8 with a trailing separator; empty
// when the system cannot tell.
std::string ProgramFolder();

}  // namespace voxaro
