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

std::wstring UpperExtension(const std::wstring& name)
{
    size_t dot = name.find_last_of(L'.');
    size_t slash = name.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
    std::wstring ext = name.substr(dot);
    UpperCaseAscii(ext);
    return ext;
}

std::wstring FileNameOnly(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace voxaro
