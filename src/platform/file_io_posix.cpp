#include "file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voxaro {

TFile::~TFile()
{
    Close();
}

bool TFile::IsOpen() const
{
    return Handle_ >= 0;
}

void TFile::Close()
{
    if (Handle_ >= 0) ::close(static_cast<int>(Handle_));
    Handle_ = -1;
}

bool TFile::Open(const std::wstring& name)
{
    Close();
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    int fd = ::open(WideToUtf8(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        LastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    struct stat st {};
    uint32_t refusal = 0;
    if (::fstat(fd, &st) != 0)
        refusal = static_cast<uint32_t>(errno);
    else if (S_ISDIR(st.st_mode))
        refusal = EISDIR;  // like CreateFileW, which refuses folders at open time
    else if (!S_ISREG(st.st_mode))
        refusal = kNotRegularFile;
    if (refusal != 0) {
        LastError_ = refusal;
        ::close(fd);
        return false;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    Handle_ = fd;
    return true;
}

bool SameFile(const std::wstring& a, const std::wstring& b)
{
    struct stat sa {
    }, sb{};
    if (::stat(WideToUtf8(a).c_str(), &sa) != 0 || ::stat(WideToUtf8(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool TFile::Read(void* buffer, size_t n, size_t& got)
{
    got = 0;
    for (;;) {
        ssize_t r = ::read(static_cast<int>(Handle_), buffer, n);
        if (r >= 0) {
            got = static_cast<size_t>(r);
            return true;
        }
        if (errno != EINTR) {
            LastError_ = static_cast<uint32_t>(errno);
            return false;
        }
    }
}

bool TFile::Size(uint64_t& size)
{
    struct stat st {};
    if (::fstat(static_cast<int>(Handle_), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool TFile::SeekStart()
{
    return ::lseek(static_cast<int>(Handle_), 0, SEEK_SET) == 0;
}

}  // namespace voxaro

namespace voxaro {

// wchar_t holds UTF-32 here.
std::string WideToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size() + (extra == 0 ? 1 : 0)) {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        uint32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto t = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((t & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (t & 0x3F);
        }
        out += static_cast<wchar_t>(ok ? c : 0xFFFD);
        i += ok ? static_cast<size_t>(extra) + 1 : 1;
    }
    return out;
}

}  // namespace voxaro
