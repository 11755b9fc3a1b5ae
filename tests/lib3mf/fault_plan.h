// What a lib3mf test double is told to get wrong, read from the environment
// variable VOXARO_LIB3MF_FAULTS at the start of each read (the reader's first
// call, lib3mf_getlibraryversion). Words separated by blanks:
//   version=2.4.0          the version reported
//   fail=NAME  fail=NAME@K entry point NAME returns 5 on every call, or on its Kth
//   code=N                 what a failing entry point returns instead of 5 (adapter only)
//   vertexcount=N[@K]      answer of lib3mf_meshobject_getvertexcount (every call, or the Kth)
//   trianglecount=N[@K]    answer of lib3mf_meshobject_gettrianglecount
//   componentcount=N[@K]   answer of lib3mf_componentsobject_getcomponentcount
//   needed=N               answer of every array size query
//   resourceid=N propertyid=N   every material reference reported (triangles and objects)
//   cornerpid=N            property id of the second and third corners of every triangle
//   badindex               the second corner of each object's first triangle is far out of range
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace voxaro::testfake {

class TFaultPlan {
public:
    uint32_t Version[3] = {2, 5, 0};

    void Read(const char* text)
    {
        *this = TFaultPlan();
        std::istringstream words(text ? text : "");
        std::string word;
        while (words >> word) {
            TDirective d;
            size_t eq = word.find('='), at = word.find('@');
            d.Key = word.substr(0, eq);
            if (eq != std::string::npos) d.Value = word.substr(eq + 1, at == std::string::npos ? at : at - eq - 1);
            if (at != std::string::npos) d.At = std::strtoul(word.c_str() + at + 1, nullptr, 10);
            if (d.Key == "version") {
                std::sscanf(d.Value.c_str(), "%u.%u.%u", &Version[0], &Version[1], &Version[2]);
                continue;
            }
            Items.push_back(d);
        }
    }

    // Counts a call of fn; true when this call is to fail.
    bool Enter(const std::string& fn)
    {
        unsigned n = ++Calls[fn];
        for (const TDirective& d : Items)
            if (d.Key == "fail" && d.Value == fn && (d.At == 0 || d.At == n)) return true;
        return false;
    }

    // The value told for key at the current call of fn, if any.
    bool Override(const std::string& key, const std::string& fn, uint64_t& value) const
    {
        auto calls = Calls.find(fn);
        unsigned n = calls == Calls.end() ? 0 : calls->second;
        for (const TDirective& d : Items)
            if (d.Key == key && (d.At == 0 || d.At == n)) {
                value = std::strtoull(d.Value.c_str(), nullptr, 10);
                return true;
            }
        return false;
    }

    bool Has(const std::string& flag) const
    {
        for (const TDirective& d : Items)
            if (d.Key == flag) return true;
        return false;
    }

private:
    struct TDirective {
        std::string Key, Value;
        unsigned At = 0;
    };
    std::vector<TDirective> Items;
    std::map<std::string, unsigned> Calls;
};

}  // namespace voxaro::testfake
