// The readers' small text toolkit. Texts are raw bytes given as [begin, end)
// ranges: NULs are ordinary characters, only ASCII letters change case, and a
// blank is any byte with a code of 32 or less (controls and the space).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace voxaro {

inline bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}
inline char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Moves begin and end inwards past blanks.
inline void Trim(const char*& begin, const char*& end)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
}

inline std::string_view Trim(std::string_view text)
{
    const char* b = text.data();
    const char* e = b + text.size();
    Trim(b, e);
    return {b, static_cast<size_t>(e - b)};
}

// Whether the n bytes at text equal word's first n bytes, letters compared
// without regard to case. A byte with bit 0x20 set equals a letter of word in
// lower case only when it is that letter in either case, so for a word known
// when this is inlined each byte costs one OR and one comparison.
inline bool SameNoCase(const char* text, const char* word, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const char lower = static_cast<char>(word[i] | 0x20);
        const bool letter = lower >= 'a' && lower <= 'z';
        if (letter ? static_cast<char>(text[i] | 0x20) != lower : text[i] != word[i]) return false;
    }
    return true;
}

// Whether [begin, end) is word, ignoring letter case.
inline bool EqualsNoCase(const char* begin, const char* end, const char* word)
{
    size_t n = std::strlen(word);
    return static_cast<size_t>(end - begin) == n && SameNoCase(begin, word, n);
}

// Whether [begin, end) starts with word, ignoring letter case.
inline bool StartsWithNoCase(const char* begin, const char* end, const char* word)
{
    size_t n = std::strlen(word);
    return static_cast<size_t>(end - begin) >= n && SameNoCase(begin, word, n);
}

// First occurrence of word in [begin, end) ignoring letter case, or null.
const char* FindNoCase(const char* begin, const char* end, const char* word);

// Upper-cases the ASCII letters of a text in place.
void UpperCaseAscii(std::string& text);
void UpperCaseAscii(std::wstring& text);

// File names, with either slash as the folder separator: the name's extension
// with its dot, upper-cased (ASCII), or "" when the last dot is not in the
// file name itself; and the name without its folder.
std::wstring UpperExtension(const std::wstring& name);
std::wstring FileNameOnly(const std::wstring& path);

// First CR or LF in [p, end), or end. Eight bytes at a time: a word without
// a byte below 14 (CR is 13, LF 10) is skipped whole; a word with one is
// looked at byte by byte from there, as tabs and other controls also are.
inline const char* FindLineBreak(const char* p, const char* end)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr bool kFirstByteLowest = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    for (;;) {
        while (kFirstByteLowest && end - p >= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            // A flag for each byte below 14; flags above the lowest may be false.
            const uint64_t flags = (w - kOnes * 14) & ~w & kHigh;
            if (flags != 0) {
                p += __builtin_ctzll(flags) / 8;
                break;
            }
            p += 8;
        }
        if (p == end || *p == '\n' || *p == '\r') return p;
        if (kFirstByteLowest && end - p >= 8) {
            ++p;  // another control byte
            continue;
        }
        while (p < end && *p != '\n' && *p != '\r')
            ++p;
        return p;
    }
}

// First blank in [p, end), or end: the end of the token starting at p. Eight
// bytes at a time, as FindLineBreak.
inline const char* FindBlank(const char* p, const char* end)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr bool kFirstByteLowest = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    while (kFirstByteLowest && end - p >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        // A flag for each byte below 33; flags above the lowest may be false.
        const uint64_t flags = (w - kOnes * 33) & ~w & kHigh;
        if (flags != 0) return p + __builtin_ctzll(flags) / 8;
        p += 8;
    }
    while (p < end && !IsBlank(*p))
        ++p;
    return p;
}

// Calls fn(lineBegin, lineEnd) for every line of [p, end), without its break.
// CR LF, LF and a lone CR each end a line; text after the last break is a
// line of its own, and a break at the very end starts no empty line.
template <typename Fn> void ForEachLine(const char* p, const char* end, Fn&& fn)
{
    while (p < end) {
        const char* q = FindLineBreak(p, end);
        fn(p, q);
        if (q < end && *q == '\r' && q + 1 < end && q[1] == '\n') ++q;
        p = q + 1;
    }
}

}  // namespace voxaro
