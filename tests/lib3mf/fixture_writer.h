// Writes 3MF packages for tests and benchmarks with Debian's lib3mf 1.8.1:
// one base-material group and any number of mesh objects, each with an
// optional object-level material or colour and optional per-triangle
// materials or colours (lib3mf writes the colours as colour groups);
// components objects; a build of every object once or of the items given.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace voxaro::test181 {

struct TFixtureMaterial {
    uint8_t R, G, B, A;
};

// A transform as the file writes it: "m00 m01 m02 m10 ... m30 m31 m32", a
// point p going to p * m (row vector, translation last).
using TFixtureTransform = std::array<float, 12>;
constexpr TFixtureTransform kFixtureIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

struct TFixturePlacement {
    int Object;  // index into Objects, of an object before this one (components) or any (items)
    TFixtureTransform Transform = kFixtureIdentity;
};

struct TFixtureObject {
    std::vector<std::array<float, 3>> Vertices;
    std::vector<std::array<uint32_t, 3>> Triangles;
    int Material = -1;                   // object-level material (index into Materials), -1: none
    std::vector<int> TriangleMaterials;  // per triangle, -1: none; empty: no triangle has one
    bool HasColour = false;              // object-level colour
    TFixtureMaterial Colour{};
    std::vector<TFixtureMaterial> TriangleColours;  // per triangle, alpha 0: none; empty: none
    std::vector<TFixturePlacement> Components;      // not empty: a components object (no mesh)
};

struct TFixture {
    std::vector<TFixtureMaterial> Materials;
    std::vector<TFixtureObject> Objects;
    bool BuildEveryObject = true;  // one item per object, untransformed; else Items
    std::vector<TFixturePlacement> Items;
};

// Writes the package; false (and error set) when lib3mf 1.8.1 is missing or fails.
bool Write3mf(const TFixture& fixture, const std::string& path, std::string& error);

}  // namespace voxaro::test181
