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
    int fd = ::open(FileNameBytes(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        LastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    struct stat st {};
    uint32_t refusal = 0;
    if (::fstat(fd, &st) != 0)
        refusal = static_cast<uint32_t>(errno);
    else if (S_ISDIR(st.st_mode))
        refusal = kFolder;  // like CreateFileW, which refuses folders at open time
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
    struct stat sa {};
    struct stat sb {};
    if (::stat(FileNameBytes(a).c_str(), &sa) != 0 || ::stat(FileNameBytes(b).c_str(), &sb) != 0) return false;
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

size_t TFile::ReadFullAt(uint64_t offset, void* buffer, size_t n, uint32_t& error) const
{
    error = 0;
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < n) {
        ssize_t r = ::pread(static_cast<int>(Handle_), out + total, n - total, static_cast<off_t>(offset + total));
        if (r == 0) break;
        if (r > 0) {
            total += static_cast<size_t>(r);
        } else if (errno != EINTR) {
            error = static_cast<uint32_t>(errno);
            break;
        }
    }
    return total;
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

// wchar_t holds UTF-32 here. A file name is any string of bytes, so the
// bytes that are not UTF-8 travel as the lone surrogates U+DC80..U+DCFF (one
// per byte), which no valid UTF-8 decodes to: FileNameBytes gives them back,
// messages show U+FFFD.
namespace {

constexpr uint32_t kFirstEscape = 0xDC80, kLastEscape = 0xDCFF;

void AppendUtf8(std::string& out, uint32_t c)
{
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

std::string Encode(const std::wstring& text, bool escapesAsBytes)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (escapesAsBytes && c >= kFirstEscape && c <= kLastEscape) {
            out += static_cast<char>(c - 0xDC00);
            continue;
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

// Length of the well-formed UTF-8 sequence at text[i] with its code point,
// or 0: overlong forms, surrogates and values past U+10FFFF are not UTF-8.
size_t DecodeOne(const std::string& text, size_t i, uint32_t& c)
{
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 4;
    if (extra > 3 || text.size() - i <= extra) return 0;
    c = extra == 0 ? b : (b & (0x3F >> extra));
    for (size_t k = 1; k <= extra; ++k) {
        const auto t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        c = (c << 6) | (t & 0x3F);
    }
    static const uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return extra + 1;
}

}  // namespace

std::string WideToUtf8(const std::wstring& text)
{
    return Encode(text, false);
}

std::string FileNameBytes(const std::wstring& name)
{
    return Encode(name, true);
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t c = 0;
        const size_t n = DecodeOne(text, i, c);
        if (n == 0) c = 0xDC00 + static_cast<unsigned char>(text[i]);  // never below 0x80: ASCII is always valid
        out += static_cast<wchar_t>(c);
        i += n == 0 ? 1 : n;
    }
    return out;
}

}  // namespace voxaro
