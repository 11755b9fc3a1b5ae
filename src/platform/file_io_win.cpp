#include "file_io.h"

#include <windows.h>

namespace voxaro {

namespace {
HANDLE AsHandle(intptr_t h)
{
    return reinterpret_cast<HANDLE>(h);
}
}  // namespace

TFile::~TFile()
{
    Close();
}

bool TFile::IsOpen() const
{
    return Handle_ != -1;
}

void TFile::Close()
{
    if (Handle_ != -1) CloseHandle(AsHandle(Handle_));
    Handle_ = -1;
}

bool TFile::Open(const std::wstring& name)
{
    Close();
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        LastError_ = GetLastError();
        // A folder gets "access denied", as a file whose permissions refuse us does.
        const DWORD attributes = LastError_ == ERROR_ACCESS_DENIED ? GetFileAttributesW(name.c_str()) : 0;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) LastError_ = kFolder;
        return false;
    }
    Handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

bool TFile::Read(void* buffer, size_t n, size_t& got)
{
    got = 0;
    auto* out = static_cast<char*>(buffer);
    // ReadFile takes 32-bit counts; larger requests go in slices.
    while (n > 0) {
        DWORD want = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
        DWORD read = 0;
        if (!ReadFile(AsHandle(Handle_), out, want, &read, nullptr)) {
            LastError_ = GetLastError();
            return false;
        }
        got += read;
        if (read < want) break;
        out += read;
        n -= read;
    }
    return true;
}

size_t TFile::ReadFullAt(uint64_t offset, void* buffer, size_t n, uint32_t& error) const
{
    error = 0;
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < n) {
        const uint64_t at = offset + total;
        const size_t left = n - total;
        DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        // A synchronous handle reads at the offset given and waits for it.
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD read = 0;
        if (!ReadFile(AsHandle(Handle_), out + total, want, &read, &where)) {
            const DWORD code = GetLastError();
            if (code != ERROR_HANDLE_EOF) error = code;
            break;
        }
        if (read == 0) break;
        total += read;
    }
    return total;
}

bool TFile::Size(uint64_t& size)
{
    DWORD high = 0;
    DWORD low = GetFileSize(AsHandle(Handle_), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

bool TFile::SeekStart()
{
    return SetFilePointer(AsHandle(Handle_), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

namespace {

// Opened for no access at all: only the file's identity is read, and a file
// another program holds open (even for writing) can still be looked at.
bool FileIdentity(const std::wstring& name, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool SameFile(const std::wstring& a, const std::wstring& b)
{
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!FileIdentity(a, ia) || !FileIdentity(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string FileNameBytes(const std::wstring& name)
{
    return WideToUtf8(name);
}

std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

}  // namespace voxaro
