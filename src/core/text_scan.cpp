#include "text_scan.h"

namespace voxaro {

const char* FindNoCase(const char* begin, const char* end, const char* word)
{
    const size_t n = std::strlen(word);
    if (n == 0) return begin;
    const char first = UpperAscii(word[0]);
    for (const char* p = begin; static_cast<size_t>(end - p) >= n; ++p)
        if (UpperAscii(*p) == first && SameNoCase(p + 1, word + 1, n - 1)) return p;
    return nullptr;
}

void UpperCaseAscii(std::string& text)
{
    for (char& c : text)
        c = UpperAscii(c);
}

void UpperCaseAscii(std::wstring& text)
{
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
}

}  // namespace voxaro
