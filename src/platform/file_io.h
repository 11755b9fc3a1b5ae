// Read-only file access for the readers. One implementation per platform
// (file_io_win.cpp over CreateFileW/ReadFile, file_io_posix.cpp over open/read);
// nothing here ever creates or writes a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace voxaro {

// LastError() of an Open that refused a name which is not a regular file (a
// FIFO, a device such as /dev/zero, a socket): reading one may wait for ever
// or never end. Bit 29 marks the code as the application's own, never one of
// the system's.
constexpr uint32_t kNotRegularFile = 0x20000001u;
// LastError() of an Open given a folder. The systems say it each their own
// way (EISDIR, ERROR_ACCESS_DENIED, which says nothing of folders); the
// messages say it in words, the same on both.
constexpr uint32_t kFolder = 0x20000002u;

class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // Opens an existing file for reading, sharing it with other readers only.
    // On failure returns false and LastError() holds the system's error code
    // (kNotRegularFile for a special file, kFolder for a folder).
    bool Open(const std::wstring& name);
    bool IsOpen() const;
    void Close();

    // Reads up to n bytes; got receives how many arrived. False on a read error.
    bool Read(void* buffer, size_t n, size_t& got);
    // Reads until n bytes arrived or the file ends; returns the count read.
    size_t ReadFull(void* buffer, size_t n);
    // As ReadFull, from the given offset; several threads may call it at
    // once. Where Read goes on from afterwards is not defined (Windows moves
    // the position, POSIX does not), so a reader uses one or the other.
    // error receives the system's code of a failed read, 0 otherwise.
    size_t ReadFullAt(uint64_t offset, void* buffer, size_t n, uint32_t& error) const;
    // Size in bytes; false when the system cannot tell.
    bool Size(uint64_t& size);
    bool SeekStart();

    uint32_t LastError() const { return LastError_; }

private:
    intptr_t Handle_ = -1;
    uint32_t LastError_ = 0;
};

// "error N" for a system error code, words for kNotRegularFile and kFolder:
// the part of a reader's "Cannot open file (...)" message in parentheses.
inline std::string OpenErrorText(uint32_t code)
{
    if (code == kNotRegularFile) return "not a regular file";
    if (code == kFolder) return "a folder";
    return "error " + std::to_string(code);
}

// Both names reach one existing file (the same device and inode on POSIX,
// the same volume and file ID on Windows), whatever their spelling: through
// links, "..", or two hard links. False when either cannot be looked at.
bool SameFile(const std::wstring& a, const std::wstring& b);

// UTF-16/32 (wchar_t) file name to UTF-8 and back, for messages and paths.
// On POSIX, Utf8ToWide keeps bytes that are not UTF-8 (a Latin-1 name, say)
// as U+DC80..U+DCFF, which WideToUtf8 shows as U+FFFD.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
// The name as the system's byte-string calls take it: on POSIX the very
// bytes Utf8ToWide had, on Windows its UTF-8 (what lib3mf's file calls take).
std::string FileNameBytes(const std::wstring& name);

}  // namespace voxaro
