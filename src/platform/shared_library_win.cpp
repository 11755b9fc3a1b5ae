#include "shared_library.h"

#include <windows.h>

#include "file_io.h"

namespace voxaro {

bool TSharedLibrary::Load(const std::string& utf8Path)
{
    Unload();
    std::wstring path = Utf8ToWide(utf8Path);
    // A library that cannot be loaded must not make the system show a dialog
    // inside the host.
    DWORD oldMode = 0;
    bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode) != 0;
    HMODULE module = LoadLibraryW(path.c_str());
    LastError_ = module ? 0 : GetLastError();
    if (quiet) SetThreadErrorMode(oldMode, nullptr);
    Handle_ = module;
    return module != nullptr;
}

void* TSharedLibrary::Resolve(const char* name) const
{
    if (!Handle_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(Handle_), name));
}

void TSharedLibrary::Unload()
{
    if (Handle_) FreeLibrary(static_cast<HMODULE>(Handle_));
    Handle_ = nullptr;
}

// Both builds of the plug-in are installed into one folder, so the 32-bit one
// keeps its lib3mf apart, in a sub-folder of its own.
std::string Lib3mfLibraryPath(const std::string& folder)
{
#if defined(_WIN64)
    return folder + "lib3mf.dll";
#else
    return folder + "lib3mf_32bit.dll\\lib3mf.dll";
#endif
}

std::string ProgramFolder()
{
    for (DWORD size = 260; size <= 16640; size *= 2) {
        std::wstring buffer(size, L'\0');
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return {};
        if (n < size - 1) {
            std::wstring path = buffer.substr(0, n);
            size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::string() : WideToUtf8(path.substr(0, slash + 1));
        }
    }
    return {};
}

}  // namespace voxaro
