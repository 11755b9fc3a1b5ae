// Writes 3MF packages for tests and benchmarks with Debian's lib3mf 1.8.1:
// one base-material group and any number of mesh objects, each with an
// optional object-level material and optional per-triangle materials.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace voxaro::test181 {

struct TFixtureMaterial {
    uint8_t R, G, B, A;
};

struct TFixtureObject {
    std::vector<std::array<float, 3>> Vertices;
    std::vector<std::array<uint32_t, 3>> Triangles;
    int Material = -1;                   // object-level material (index into Materials), -1: none
    std::vector<int> TriangleMaterials;  // per triangle, -1: none; empty: no triangle has one
};

struct TFixture {
    std::vector<TFixtureMaterial> Materials;
    std::vector<TFixtureObject> Objects;
};

// Writes the package; false (and error set) when lib3mf 1.8.1 is missing or fails.
bool Write3mf(const TFixture& fixture, const std::string& path, std::string& error);

}  // namespace voxaro::test181
